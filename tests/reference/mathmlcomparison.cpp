#include "mathmlcomparison.h"

#include "mathmltolatexreference.h"

#include <cstring>

namespace Taviosystem {

QString mathmlDifference(
    const QString& input, bool format, bool mixed, MathmlConverter::EntityMode mode)
{
    const QString open = QStringLiteral("[");
    const QString close = QStringLiteral("]");
    QString latex = QStringLiteral("untouched");
    QString expected = latex;
    const int result = translateMathmlToLatex(input, latex, open, close, format, mixed, mode);
    const int expectedResult
        = referenceTranslateMathmlToLatex(input, expected, open, close, format, mixed, mode);
    if (result == expectedResult && latex == expected)
        return QString();
    return QStringLiteral("mode %1, dialect %2, mixed %3: %4 \"%5\", reference %6 \"%7\"")
        .arg(int(mode))
        .arg(format ? 2 : 1)
        .arg(int(mixed))
        .arg(result)
        .arg(latex)
        .arg(expectedResult)
        .arg(expected);
}

QString mathmlDifference(const QString& input)
{
    for (const auto mode :
        { MathmlConverter::ResolvedEntities, MathmlConverter::DeclaredEntities }) {
        for (const bool format : { false, true }) {
            for (const bool mixed : { false, true }) {
                const QString difference = mathmlDifference(input, format, mixed, mode);
                if (!difference.isEmpty())
                    return difference;
            }
        }
    }
    return QString();
}

QString mathmlDifferenceForInput(const unsigned char* data, std::size_t size)
{
    if (size == 0)
        return QString();
    const unsigned char how = data[0];
    const char* text = reinterpret_cast<const char*>(data + 1);
    const std::size_t length = size - 1;
    QString input;
    if (how & 0x01) {
        input = QString(qsizetype(length / 2), Qt::Uninitialized);
        std::memcpy(input.data(), text, length / 2 * 2);
    } else {
        input = QString::fromUtf8(text, qsizetype(length));
    }
    const auto mode = (how & 0xF8) == 0xF8 ? MathmlConverter::DeclaredEntities
                                           : MathmlConverter::ResolvedEntities;
    const QString difference = mathmlDifference(input, (how & 0x02) != 0, (how & 0x04) != 0, mode);
    if (difference.isEmpty())
        return difference;
    return QStringLiteral("\"%1\": %2").arg(input, difference);
}

} // namespace Taviosystem
