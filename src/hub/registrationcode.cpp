#include <taviosystem/registrationcode.h>

namespace Taviosystem {

RegistrationCode::RegistrationCode(CHAR_CODE char1, CHAR_CODE char2, CHAR_CODE char3)
    : m_char1(char1)
    , m_char2(char2)
    , m_char3(char3)
{
}

RegistrationCode::RegistrationCode(const QString& code)
    : RegistrationCode(0, 0, 0)
{
    const QByteArray ascii = code.left(3).toLatin1();
    if (ascii.size() > 0)
        m_char1 = quint8(ascii.at(0));
    if (ascii.size() > 1)
        m_char2 = quint8(ascii.at(1));
    if (ascii.size() > 2)
        m_char3 = quint8(ascii.at(2));
}

} // namespace Taviosystem
