// libFuzzer target: arbitrary byte streams, cut into arbitrary blocks, through the receive
// dispatch of the monitor on fake controls and services, interleaved with timer ticks,
// tray clicks and box answers. Aborts when an invariant breaks:
//  - the power-off is requested only while a block is handled that was received with the
//    link up, whose bytes 0-2 are "&&&" and byte 9 is "2", and whose previous decoded frame
//    on the same link also carried "2";
//  - LinkMode is 0 or 1, PortNumber 0 to 5;
//  - no box opens while another is open.
//
// The input is a list of operations; each starts with one byte whose value modulo 8 says:
//   0-2  receive a block: the next byte modulo 24 gives its length, the bytes follow;
//   3-5  tick Timer1, Timer2 or Timer3, if it is counting;
//   6    next byte b: b % 4 = 0 tray left click, 1 right click, 2 the user minimises the
//        window, 3 a line event (not a receive) on the serial control;
//   7    next byte b: bit 0 the power-off is accepted, bit 1 boxes are answered Cancel
//        (else Retry), bits 2-3 the failure of opening port ((b >> 4) & 3) + 1: none, no
//        such port, permission denied, in use by another program.
// While a box is open, the next byte modulo 4 gives how many operations run inside it.
#include "fakes/FakePlatform.h"

#include <cstdlib>
#include <memory>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool empty() const { return m_pos >= m_size; }
    std::uint8_t next() { return empty() ? 0 : m_data[m_pos++]; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// Answers the power-off request as scripted and checks that it is allowed now.
class CheckedModApi final : public ModApi {
public:
    void BringToFront(std::intptr_t) override {}
    bool ShutdownWindows() override {
        Check(shutdownAllowed);
        return accept;
    }
    bool shutdownAllowed = false;
    bool accept = false;
};

class Session {
public:
    Session(const std::uint8_t* data, std::size_t size)
        : m_input(data, size),
          m_form(m_view.Controls(m_services.tray, m_services.comm),
                 Services{m_services.boxes, m_api, m_services.ticks, m_services.locale,
                          m_services.instance, m_services.warnings, m_services.events, "Linux"}) {
        m_services.boxes.whileOpen = [this] { InsideBox(); };
    }

    void Run() {
        m_form.Form_Load();
        m_form.frmMain.setVisible(true);
        while (!m_input.empty())
            Step();
    }

private:
    void Step() {
        const std::uint8_t op = m_input.next() % 8;
        if (op <= 2)
            Receive();
        else if (op <= 5)
            Tick(op == 3 ? m_form.Timer1 : op == 4 ? m_form.Timer2 : m_form.Timer3);
        else if (op == 6)
            Desktop(m_input.next());
        else
            Configure(m_input.next());
        Check(m_form.LinkMode <= 1);
        Check(m_form.PortNumber <= 5);
    }

    void Receive() {
        FakeComm& comm = m_services.comm;
        const std::size_t length = m_input.next() % 24;
        Bytes bytes;
        for (std::size_t i = 0; i < length && !m_input.empty(); ++i)
            bytes.push_back(m_input.next());

        // The block the dispatch will read: what was still buffered, then the new bytes.
        Bytes block = comm.buffer;
        block.insert(block.end(), bytes.begin(), bytes.end());
        const bool decoded = m_form.LinkMode == 1 && block.size() >= StatusFrameSize &&
                             IsHeader(block[0], block[1], block[2]);
        const bool final = decoded && block[9] == '2';
        const bool wasLinked = m_form.LinkMode == 1;

        // A nested block (received while a box is open) has its own permission.
        const bool outerAllowed = m_api.shutdownAllowed;
        m_api.shutdownAllowed = final && m_previousFinal;
        if (decoded)
            m_previousFinal = final;
        comm.receive(bytes);
        m_api.shutdownAllowed = outerAllowed;
        if (!wasLinked && m_form.LinkMode == 1)
            m_previousFinal = false; // a new link
    }

    static void Tick(Timer& timer) {
        if (timer.isCounting())
            timer.OnTimer();
    }

    void Desktop(std::uint8_t choice) {
        switch (choice % 4) {
        case 0:
            m_form.cSysTray1_MouseEvent(1, 0);
            break;
        case 1:
            m_form.cSysTray1_MouseEvent(2, 0);
            break;
        case 2:
            m_form.frmMain.setWindowState(vbMinimized);
            break;
        default:
            m_services.comm.raise(1004);
            break;
        }
    }

    void Configure(std::uint8_t bits) {
        m_api.accept = bits & 1;
        m_answer = (bits & 2) ? vb::Cancel : vb::Retry;
        static constexpr int OpenErrors[] = {0, comm::ErrNoSuchPort, comm::ErrPermissionDenied,
                                             comm::ErrPortInUse};
        const int port = ((bits >> 4) & 3) + 1;
        const int error = OpenErrors[(bits >> 2) & 3];
        if (error)
            m_services.comm.openErrors[port] = error;
        else
            m_services.comm.openErrors.erase(port);
    }

    // Events delivered while a box is open, as a view's modal loop delivers them.
    void InsideBox() {
        Check(!m_boxOpen);
        m_boxOpen = true;
        for (int n = m_input.next() % 4; n > 0 && !m_input.empty(); --n)
            Step();
        m_boxOpen = false;
        m_services.boxes.answers = {m_answer};
    }

    Input m_input;
    FakeServices m_services;
    FakeControls m_view;
    CheckedModApi m_api;
    MonitorForm m_form;
    bool m_previousFinal = false; // the last decoded frame of this link carried "2"
    bool m_boxOpen = false;
    int m_answer = vb::Retry;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto session = std::make_unique<Session>(data, size);
    try {
        session->Run();
    } catch (const ProcessEnded&) {
        // Unload ended the program: this input is done, the next gets a fresh form.
    }
    return 0;
}
