// LaTeX to MathML over the committed corpus of device-style answers, both dialects as the corpus
// marks them. "items_per_second" counts expressions; "time_per_expression" is its inverse.
//
//   cmake --preset release && cmake --build --preset release --target latex_bench
//   build/release/bin/latex_bench

#include "mathtext/latextomathml.h"

#include <benchmark/benchmark.h>

#include <QtCore/QFile>
#include <QtCore/QList>
#include <QtCore/QString>

#include <utility>

using Taviosystem::LatexParser;

namespace {

// (expression, expressionV2LatexFormat) for every line of the corpus.
QList<std::pair<QString, bool>> readCorpus()
{
    QList<std::pair<QString, bool>> corpus;
    QFile file(QStringLiteral(TAVIO_TEST_DATA_DIR "/maths/latex_corpus.txt"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return corpus;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).chopped(1);
        if (line.size() > 2 && line[1] == u'\t' && !line.startsWith(u'#'))
            corpus.append({ line.mid(2), line[0] == u'1' });
    }
    return corpus;
}

const QList<std::pair<QString, bool>>& corpus()
{
    static const QList<std::pair<QString, bool>> lines = readCorpus();
    return lines;
}

void report(benchmark::State& state, qsizetype expressions)
{
    state.SetItemsProcessed(state.iterations() * expressions);
    state.counters["time_per_expression"]
        = benchmark::Counter(double(state.iterations() * expressions),
            benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Every expression of the corpus in its own dialect.
void BM_LatexToMathmlCorpus(benchmark::State& state)
{
    const auto& lines = corpus();
    if (lines.isEmpty()) {
        state.SkipWithError("corpus not found");
        return;
    }
    QString out;
    for (auto _ : state) {
        for (const auto& [latex, v2] : lines) {
            benchmark::DoNotOptimize(LatexParser::translate(latex, out, v2));
            benchmark::DoNotOptimize(out.constData());
        }
    }
    report(state, lines.size());
}
BENCHMARK(BM_LatexToMathmlCorpus);

// The corpus's expressions of one dialect only.
void BM_LatexToMathmlDialect(benchmark::State& state)
{
    const bool v2 = state.range(0) != 0;
    QList<QString> lines;
    for (const auto& [latex, lineV2] : corpus()) {
        if (lineV2 == v2)
            lines.append(latex);
    }
    if (lines.isEmpty()) {
        state.SkipWithError("corpus not found");
        return;
    }
    state.SetLabel(v2 ? "second dialect" : "first dialect");
    QString out;
    for (auto _ : state) {
        for (const QString& latex : lines) {
            benchmark::DoNotOptimize(LatexParser::translate(latex, out, v2));
            benchmark::DoNotOptimize(out.constData());
        }
    }
    report(state, lines.size());
}
BENCHMARK(BM_LatexToMathmlDialect)->Arg(0)->Arg(1);

} // namespace

BENCHMARK_MAIN();
