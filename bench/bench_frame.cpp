// Cost of one status frame through the receive dispatch with the link up: decoding, the
// five receivers, the uptime and re-arming the watchdog, on fake platform services.
#include "fakes/FakePlatform.h"
#include "fakes/Frames.h"

#include <QApplication>

#include <benchmark/benchmark.h>

namespace {

void BM_LinkedFrame(benchmark::State& state) {
    FakeForm f;
    f.link();
    const QByteArray frames[] = {Frame('0', '0'), Frame('0', '1', 40, 100, 128, 78, 110)};
    std::size_t i = 0;
    for (auto _ : state) {
        f.comm.receive(frames[i++ & 1]);
        f.log.entries.clear();
    }
}
BENCHMARK(BM_LinkedFrame);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
