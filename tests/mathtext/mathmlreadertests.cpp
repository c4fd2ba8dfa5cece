// The library's MathML reader against the QXmlStreamReader reference (tests/reference): the
// same result and output for the corpus, the fuzz seeds and the edges of what the reader takes
// itself, and the corpus read by the library's reader without handing over to the full reader.

#include "mathtext/mathmlreader.h"
#include "reference/mathmlcomparison.h"

#include <gtest/gtest.h>

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QStringList>

#include <utility>
#include <vector>

using Taviosystem::mathmlDifference;
using Taviosystem::MathmlReader;

namespace {

QStringList readCorpus()
{
    QFile file(QStringLiteral(TAVIO_TEST_DATA_DIR "/maths/mathml_corpus.txt"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

// Reads the whole document; true when the reader got to its end by itself.
bool readsToTheEnd(const QString& fragment)
{
    MathmlReader reader(fragment);
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
}

TEST(MathmlReaderTest, CorpusGivesWhatTheReferenceGives)
{
    const QStringList corpus = readCorpus();
    ASSERT_GE(corpus.size(), 400);
    for (const QString& line : corpus)
        EXPECT_EQ(mathmlDifference(line), QString()) << qPrintable(line);
}

// The files of a seed folder: name and bytes.
std::vector<std::pair<QString, QByteArray>> readSeeds(const QString& folder)
{
    std::vector<std::pair<QString, QByteArray>> seeds;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files)) {
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            seeds.emplace_back(name, file.readAll());
    }
    return seeds;
}

TEST(MathmlReaderTest, FuzzSeedsGiveWhatTheReferenceGives)
{
    const auto seeds = readSeeds(QStringLiteral(TAVIO_MATHML_SEED_DIR));
    ASSERT_GE(seeds.size(), 10u);
    for (const auto& [name, bytes] : seeds) {
        // As the fuzz target reads its inputs: UTF-8, then the same bytes as UTF-16.
        EXPECT_EQ(mathmlDifference(QString::fromUtf8(bytes)), QString()) << qPrintable(name);
        const QString units(reinterpret_cast<const QChar*>(bytes.constData()), bytes.size() / 2);
        EXPECT_EQ(mathmlDifference(units), QString()) << qPrintable(name) << " as UTF-16";
    }
}

// The differential fuzz target's seeds, read as the target reads its inputs.
TEST(MathmlReaderTest, DifferentialSeedsGiveWhatTheReferenceGives)
{
    const auto seeds = readSeeds(QStringLiteral(TAVIO_MATHML_READER_SEED_DIR));
    ASSERT_GE(seeds.size(), 40u);
    for (const auto& [name, bytes] : seeds) {
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
        EXPECT_EQ(Taviosystem::mathmlDifferenceForInput(data, std::size_t(bytes.size())), QString())
            << qPrintable(name);
    }
}

// The edges of the subset the library's reader takes, and inputs just past them.
const char* const EdgeCases[] = {
    "<math><mi mathvariant='bold'>x</mi><mo stretchy=\"false\" >(</mo></math>",
    "<math xmlns=\"http://www.w3.org/1998/Math/MathML\"><mi>x</mi></math>",
    "<math xmlns=\"http://www.w3.org/1999/xhtml\"><mi>x</mi></math>",
    "<math xml:lang=\"en\"><mi>x</mi></math>",
    "<math><mi a='1' a='2'>x</mi></math>",
    "<math><mi a='1'b='2'>x</mi></math>",
    "<math><mi a='&lt;'>x</mi></math>",
    "<math><mi a='&alpha;'>x</mi></math>",
    "<math><mi a='<'>x</mi></math>",
    "<math><mi>&#x3B1;&#945;&#x1D465;&amp;&lt;&gt;&quot;&apos;</mi></math>",
    "<math><mi>&#0;</mi></math>",
    "<math><mi>&#x;</mi></math>",
    "<math><mi>&#X41;</mi></math>",
    "<math><mi>&#xD800;</mi></math>",
    "<math><mi>&#xFFFE;</mi></math>",
    "<math><mi>&#99999999;</mi></math>",
    "<math><mi>&nbsp;</mi></math>",
    "<math><mi>&alpha</mi></math>",
    "<math><mi>& alpha;</mi></math>",
    "<math><mn>1<![CDATA[<2>&amp;]]>3</mn><![CDATA[x]]></math>",
    "<![CDATA[x]]><math/>",
    "<math><mi>a<!-- note -->b</mi><!----></math>",
    "<math><!-- a -- b --><mi>x</mi></math>",
    "<math><!---x--><mi>x</mi></math>",
    "<math><!--x---><mi>x</mi></math>",
    "<!-- before --><math><mi>x</mi></math><!-- after -->",
    "<math><mi>x</mi></math><math><mi>y</mi></math>",
    "<math><mi>x</mi></math>trailing",
    "  \n<math><mi>x</mi></math>\r\n ",
    "text<math><mi>x</mi></math>",
    "<math><mi>x</mi>",
    "<math><mi>x</mo></math>",
    "<math><mi>x</mi></math >",
    "<math><mi>x</ mi></math>",
    "<math><mi><mn>1</mn></mi></math>",
    "<math><mi>]]></mi></math>",
    "<math><mi>a]]b</mi></math>",
    "<math><mi>a\tb\rc\r\nd</mi></math>",
    "<math><mi>\x01</mi></math>",
    "<math><mi>x</mi><mi/><mfrac/><msup><mi>a</mi></msup></math>",
    "<math><m:mi xmlns:m=\"http://www.w3.org/1998/Math/MathML\">x</m:mi></math>",
    "<m-x><math><mi>x</mi></math></m-x>",
    "<math><mi>x</mi><?pi data?></math>",
    "<?xml version=\"1.0\"?><math><mi>&alpha;</mi></math>",
    "<math><mtext>&bogus;</mtext></math>",
    "<math><mstyle><semantics><mi>x</mi><annotation>y</annotation></semantics></mstyle></math>",
    "<math><mi>\xef\xbb\xbfx</mi></math>",
    "\xef\xbb\xbf<math><mi>x</mi></math>",
    "<math><mi>\xc2\xa0sin\xe2\x80\x89x </mi></math>",
    "<math><mi>",
    "<",
    "<math",
    "<math><",
    "</math>",
    "   ",
};

TEST(MathmlReaderTest, EdgesGiveWhatTheReferenceGives)
{
    for (const char* input : EdgeCases) {
        const QString text = QString::fromUtf8(input);
        EXPECT_EQ(mathmlDifference(text), QString()) << input;
        EXPECT_EQ(
            mathmlDifference(QStringLiteral("Find <math>") + text + QStringLiteral("</math>")),
            QString())
            << input;
    }
}

TEST(MathmlReaderTest, DeepNestingGivesWhatTheReferenceGives)
{
    for (const int depth : { 126, 127, 128, 129, 400 }) {
        const QString fragment = QStringLiteral("<math>") + QStringLiteral("<mrow>").repeated(depth)
            + QStringLiteral("<mi>x</mi>") + QStringLiteral("</mrow>").repeated(depth)
            + QStringLiteral("</math>");
        EXPECT_EQ(mathmlDifference(fragment), QString()) << depth;
    }
}

// The speed of the translation comes from this: every fragment of the corpus is read without
// the full XML reader.
TEST(MathmlReaderTest, ReadsTheCorpusItself)
{
    for (const QString& line : readCorpus())
        EXPECT_TRUE(readsToTheEnd(line)) << qPrintable(line);
}

TEST(MathmlReaderTest, LeavesOutsideTheSubsetToTheFullReader)
{
    EXPECT_FALSE(readsToTheEnd(QStringLiteral("<?xml version=\"1.0\"?><math/>")));
    EXPECT_FALSE(readsToTheEnd(QStringLiteral("<!DOCTYPE m []><math/>")));
    EXPECT_FALSE(readsToTheEnd(QStringLiteral("<m:math xmlns:m=\"urn:x\"/>")));
    EXPECT_FALSE(readsToTheEnd(QStringLiteral("<math><mi>&nbsp;</mi></math>")));
    EXPECT_FALSE(readsToTheEnd(QStringLiteral("<math><mi>x</mi>")));
    EXPECT_TRUE(readsToTheEnd(QStringLiteral("<math><mi a='1' b=\"2\">&alpha;</mi></math>")));
}

} // namespace
