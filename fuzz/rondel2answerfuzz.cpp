// Both answer decoders of the classroom-server hub: the voting sessions' answer text to the
// host's values, and the self-paced test's answer to the device message the enhanced session
// decodes. The first byte picks the question kind, display and maths flag.

#include <taviosystem/rondel2enhancedquestionsession.h>
#include <taviosystem/taviosystem.h>
#include <taviosystem/virtualrondel2hub.h>

#include <QtCore/QSettings>
#include <QtCore/QStandardPaths>
#include <QtCore/QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace Taviosystem;

namespace {
VirtualRondel2Hub* hub()
{
    static QTemporaryDir settings;
    static VirtualRondel2Hub* instance = [] {
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
        return new VirtualRondel2Hub(&TavioSystem::instance(), 1, false, 20,
            QStringLiteral("http://127.0.0.1:9"), QStringLiteral("fuzz"), nullptr);
    }();
    return instance;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const int kind = data[0] % 8;
    const auto display = DisplayOption((data[0] >> 3) % 3);
    const bool maths = (data[0] & 0x80) != 0;
    const QString answer
        = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), int(size - 1));

    int vote = 0;
    QString text;
    int value = 0;
    hub()->processQuestionResponse(kind, 1, answer, display, maths, vote, text, value);
    if ((kind == Hub::SessionType_Multichoice || kind == Hub::SessionType_SortInOrder)
        && (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char(' '))))
        std::abort();

    const QByteArray message = Rondel2EnhancedQuestionSession::answerMessage(kind, answer);
    if ((kind == 2 || kind == 3) && message.size() != 1)
        std::abort();
    if (kind == 4 && message.size() > 1)
        std::abort();
    return 0;
}
