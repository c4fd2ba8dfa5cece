#pragma once

#include <taviosystem/taviosystem_global.h>

#include <QtCore/QString>

namespace Taviosystem {

// The three characters of a registration PIN.
class TAVIOSYSTEM_EXPORT RegistrationCode
{
public:
    typedef quint16 CHAR_CODE; // 'A' (65) is the default

    RegistrationCode(CHAR_CODE char1 = 65, CHAR_CODE char2 = 65, CHAR_CODE char3 = 65);
    // Takes the first three characters of the text, converted to 8-bit ASCII. A text shorter
    // than three characters gives 0 for each missing one.
    explicit RegistrationCode(const QString& code);
    RegistrationCode(const RegistrationCode& other) = default;
    RegistrationCode& operator=(const RegistrationCode& other) = default;

    CHAR_CODE char1() const { return m_char1; }
    CHAR_CODE char2() const { return m_char2; }
    CHAR_CODE char3() const { return m_char3; }

private:
    CHAR_CODE m_char1;
    CHAR_CODE m_char2;
    CHAR_CODE m_char3;
};

} // namespace Taviosystem
