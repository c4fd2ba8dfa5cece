// Maths typed on a device and read back: the MathML the first translator makes for every
// corpus expression is read back by the second into device LaTeX, which translates to the same
// MathML again.

#include <taviosystem/taviosystem.h>

#include <gtest/gtest.h>

#include <QtCore/QFile>
#include <QtCore/QStringList>

using namespace Taviosystem;

namespace {

TEST(MathRoundTrip, CorpusMathmlReadsBackToEquivalentLatex)
{
    QFile corpus(QStringLiteral(TAVIO_TEST_DATA_DIR "/maths/latex_corpus.txt"));
    ASSERT_TRUE(corpus.open(QIODevice::ReadOnly | QIODevice::Text));
    TavioSystem& system = TavioSystem::instance();
    int expressions = 0;
    int fixedPoints = 0;
    while (!corpus.atEnd()) {
        const QString line = QString::fromUtf8(corpus.readLine()).trimmed();
        const int tab = int(line.indexOf(QLatin1Char('\t')));
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || tab < 0)
            continue;
        const bool secondDialect = line.left(tab) == QLatin1String("1");
        const QString latex = line.mid(tab + 1);
        ++expressions;

        QString mathml;
        ASSERT_EQ(system.translateTextLatexToMathml(latex, mathml, secondDialect), 0)
            << latex.toStdString();
        QString back;
        ASSERT_EQ(system.translateTextMathmlToLatex(mathml, back, true, false), 0)
            << latex.toStdString() << "\n"
            << mathml.toStdString();
        // The second dialect is what the reader writes: it translates to the same MathML.
        QString again;
        if (system.translateTextLatexToMathml(back, again, true) == 0 && again == mathml)
            ++fixedPoints;
    }
    EXPECT_GE(expressions, 200);
    // Most expressions come back to the very same MathML (185 of 293 today); the others are
    // spelled differently by the two dialects (a first-dialect "\\degree", scripts the second
    // dialect reads another way). A drop below this bound means one of the translators moved.
    EXPECT_GE(fixedPoints * 10, expressions * 6) << fixedPoints << " of " << expressions;
}

} // namespace
