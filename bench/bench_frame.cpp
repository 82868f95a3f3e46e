// Cost of one status frame through the receive dispatch with the link up: decoding, the
// five receivers, the uptime and re-arming the watchdog, on fake controls and services.
#include "fakes/FakePlatform.h"
#include "fakes/Frames.h"

#include <benchmark/benchmark.h>

namespace {

void BM_LinkedFrame(benchmark::State& state) {
    FakeForm f;
    f.link();
    const Bytes frames[] = {Frame('0', '0'), Frame('0', '1', 40, 100, 128, 78, 110)};
    std::size_t i = 0;
    for (auto _ : state) {
        f.comm.receive(frames[i++ & 1]);
        f.log.entries.clear();
        f.view.StatusBar1.texts.clear();
    }
}
BENCHMARK(BM_LinkedFrame);

} // namespace
