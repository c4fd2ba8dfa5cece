// MathML to device LaTeX over the committed corpus of device-style expressions, one expression
// per iteration, cycling through the corpus:
//
//   cmake --preset release -B build/release && cmake --build build/release --target mathml_bench
//   build/release/bin/mathml_bench
//
// "items_per_second" is expressions per second. The declared-entities runs take the entities
// from the declarations instead of the resolver. The Reference runs time the QXmlStreamReader
// conversion kept under tests/reference on the same corpus, for comparison.

#include "mathtext/mathmltolatex.h"
#include "reference/mathmltolatexreference.h"

#include <taviosystem/taviosystem.h>

#include <benchmark/benchmark.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QFile>
#include <QtCore/QStringList>

#include <cstdio>

using namespace Taviosystem;

namespace {

const QStringList& corpus()
{
    static const QStringList lines = [] {
        QFile file(QStringLiteral(TAVIO_TEST_DATA_DIR "/maths/mathml_corpus.txt"));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return QStringList();
        return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }();
    return lines;
}

template <typename Convert>
void runOverCorpus(benchmark::State& state, const QStringList& inputs, Convert convert)
{
    if (inputs.isEmpty()) {
        state.SkipWithError("corpus not found");
        return;
    }
    qsizetype next = 0;
    QString latex;
    for (auto _ : state) {
        const int result = convert(inputs.at(next), latex);
        if (result != 0) {
            state.SkipWithError("an expression of the corpus failed");
            return;
        }
        benchmark::DoNotOptimize(latex.constData());
        if (++next == inputs.size())
            next = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_MathmlToLatexFragment(benchmark::State& state)
{
    const bool format = state.range(0) != 0;
    runOverCorpus(state, corpus(), [format](const QString& mathml, QString& latex) {
        return TavioSystem::instance().translateTextMathmlToLatex(mathml, latex, format, false);
    });
}
BENCHMARK(BM_MathmlToLatexFragment)->ArgName("secondDialect")->Arg(0)->Arg(1);

void BM_MathmlToLatexDeclaredEntities(benchmark::State& state)
{
    const bool format = state.range(0) != 0;
    runOverCorpus(state, corpus(), [format](const QString& mathml, QString& latex) {
        return translateMathmlToLatex(mathml, latex, QStringLiteral("["), QStringLiteral("]"),
            format, false, MathmlConverter::DeclaredEntities);
    });
}
BENCHMARK(BM_MathmlToLatexDeclaredEntities)->ArgName("secondDialect")->Arg(0)->Arg(1);

void BM_ReferenceFragment(benchmark::State& state)
{
    const bool format = state.range(0) != 0;
    runOverCorpus(state, corpus(), [format](const QString& mathml, QString& latex) {
        return referenceTranslateMathmlToLatex(mathml, latex, QString(), QString(), format, false);
    });
}
BENCHMARK(BM_ReferenceFragment)->ArgName("secondDialect")->Arg(0)->Arg(1);

void BM_ReferenceDeclaredEntities(benchmark::State& state)
{
    const bool format = state.range(0) != 0;
    runOverCorpus(state, corpus(), [format](const QString& mathml, QString& latex) {
        return referenceTranslateMathmlToLatex(
            mathml, latex, QString(), QString(), format, false, MathmlConverter::DeclaredEntities);
    });
}
BENCHMARK(BM_ReferenceDeclaredEntities)->ArgName("secondDialect")->Arg(0)->Arg(1);

// A question text around each expression, as validateQuestion sees it.
void BM_ValidateQuestion(benchmark::State& state)
{
    QStringList questions;
    for (const QString& line : corpus())
        questions.append(
            QStringLiteral("Solve ") + line + QStringLiteral(" and give x to two places."));
    runOverCorpus(state, questions, [](const QString& question, QString&) {
        int length = 0;
        return TavioSystem::instance().validateQuestion(question, length);
    });
}
BENCHMARK(BM_ValidateQuestion);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::printf("corpus: %d expressions\n", int(corpus().size()));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
