#pragma once

#include <taviosystem/taviosystem_global.h>

#include <QtCore/QString>

namespace Taviosystem {

/*!
    The three characters of a registration PIN.

    Learners key the PIN on their devices to join a hub; the host shows it to them.
*/
class TAVIOSYSTEM_EXPORT RegistrationCode
{
public:
    /*! One PIN character: 'A' (65) is the default; the 2.4 GHz hub sends its low byte. */
    typedef quint16 CHAR_CODE;

    /*! Makes a PIN of the three character codes, stored unchanged. */
    RegistrationCode(CHAR_CODE char1 = 65, CHAR_CODE char2 = 65, CHAR_CODE char3 = 65);
    /*!
        Takes the first three characters of \a code, converted to 8-bit ASCII. A text shorter
        than three characters gives 0 for each missing one.
    */
    explicit RegistrationCode(const QString& code);
    /*! Copies \a other. */
    RegistrationCode(const RegistrationCode& other) = default;
    /*! Copies all three characters of \a other. */
    RegistrationCode& operator=(const RegistrationCode& other) = default;

    /*! The first character. */
    CHAR_CODE char1() const { return m_char1; }
    /*! The second character. */
    CHAR_CODE char2() const { return m_char2; }
    /*! The third character. */
    CHAR_CODE char3() const { return m_char3; }

private:
    CHAR_CODE m_char1;
    CHAR_CODE m_char2;
    CHAR_CODE m_char3;
};

} // namespace Taviosystem
