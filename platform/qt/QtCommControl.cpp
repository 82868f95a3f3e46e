#include "platform/qt/QtCommControl.h"

#include "platform/LineFormat.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>
#include <QtGlobal>

#include <algorithm>
#include <utility>

namespace {

// Error number of a failed opening.
// Qt reports a refused open(2) and a device that another program has locked or holds
// exclusively with the same PermissionError; only the first leaves a device node that we
// may not read. The node is checked instead of the (translated) error text.
int OpenErrorNumber(QSerialPort::SerialPortError error, const QString& device) {
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return comm::ErrNoSuchPort;
    case QSerialPort::PermissionError: {
        const QFileInfo node(device);
        return node.exists() && !node.isReadable() ? comm::ErrPermissionDenied : comm::ErrPortInUse;
    }
    case QSerialPort::ResourceError:
    case QSerialPort::UnknownError:
        // A device node with no UART behind it (ENXIO, EIO), like /dev/ttyS1 to ttyS3 on
        // most PCs, is no port the system lists: for the search that port does not exist.
        return QSerialPortInfo(device).isNull() ? comm::ErrNoSuchPort : comm::ErrOpenFailed;
    default:
        return comm::ErrOpenFailed;
    }
}

} // namespace

std::optional<LineSettings> ParseLineSettings(const QString& text) {
    const auto format = comm::ParseLineFormat(text.toStdString());
    if (!format)
        return std::nullopt;
    static constexpr QSerialPort::Parity parities[] = {
        QSerialPort::NoParity, QSerialPort::EvenParity, QSerialPort::OddParity,
        QSerialPort::MarkParity, QSerialPort::SpaceParity};
    static constexpr QSerialPort::StopBits stopBits[] = {
        QSerialPort::OneStop, QSerialPort::OneAndHalfStop, QSerialPort::TwoStop};
    return LineSettings{format->baudRate, parities[static_cast<int>(format->parity)],
                        static_cast<QSerialPort::DataBits>(format->dataBits),
                        stopBits[static_cast<int>(format->stopBits)]};
}

QString QtCommControl::DefaultPortName(int number) {
    return QStringLiteral("COM%1").arg(number);
}

QtCommControl::QtCommControl(std::function<QString(int)> portName,
                             std::function<bool(const QString&)> heldElsewhere)
    : portName_(std::move(portName)), heldElsewhere_(std::move(heldElsewhere)) {
    // Qt stops reading from the device while its buffer is full, so a flood of bytes that
    // nobody reads waits in the driver instead of growing memory.
    port_.setReadBufferSize(InBufferSize);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    QObject::connect(&port_, &QSerialPort::readyRead, &port_, [this] { onReadyRead(); });
    QObject::connect(&port_, &QSerialPort::errorOccurred, &port_,
                     [this](QSerialPort::SerialPortError error) { onError(error); });
}

void QtCommControl::setSettings(const std::string& settings) {
    const auto parsed = ParseLineSettings(QString::fromStdString(settings));
    if (!parsed)
        throw CommError(comm::ErrInvalidValue, "malformed line settings \"" + settings + "\"");
    settings_ = *parsed;
    if (port_.isOpen() && !applySettings())
        throw CommError(comm::ErrInvalidValue,
                        "the port refused the line settings \"" + settings + "\"");
}

void QtCommControl::setInputMode(int mode) {
    comm::CheckInputMode(mode);
}

void QtCommControl::setRThreshold(int bytes) {
    comm::CheckRThreshold(bytes);
    rThreshold_ = bytes;
    // The buffer must be able to hold a threshold's worth, or the event could never come.
    port_.setReadBufferSize(std::max(InBufferSize, bytes));
}

void QtCommControl::setCommPort(int number) {
    comm::CheckCommPort(number, port_.isOpen());
    commPort_ = number;
}

void QtCommControl::setPortOpen(bool open) {
    if (open)
        openPort();
    else
        closePort();
}

std::vector<std::uint8_t> QtCommControl::Input() {
    if (!port_.isOpen())
        return {};
    const QByteArray bytes = port_.readAll();
    return std::vector<std::uint8_t>(bytes.cbegin(), bytes.cend());
}

void QtCommControl::setInBufferCount(int count) {
    comm::CheckInBufferCount(count);
    if (!port_.isOpen())
        return;
    // clear() drops what the driver holds and what Qt has buffered; the read that follows
    // lets Qt resume reading if it had paused on a full buffer.
    port_.clear(QSerialPort::Input);
    port_.readAll();
}

void QtCommControl::openPort() {
    if (port_.isOpen())
        throw CommError(comm::ErrPortOpen, "the port is already open");
    const QString device = portName_(commPort_);
    if (device.isEmpty())
        throw CommError(comm::ErrNoSuchPort, "COM" + std::to_string(commPort_) + " is not present");
    if (heldElsewhere_ && heldElsewhere_(device))
        throw CommError(comm::ErrPortInUse, device.toStdString() + ": locked by another program");
    port_.setPortName(device);
    applySettings(); // stored by the closed port, applied by open()
    port_.clearError();
    if (!port_.open(QIODevice::ReadOnly)) {
        const int number = OpenErrorNumber(port_.error(), device);
        const std::string what =
            (device + QStringLiteral(": ") + port_.errorString()).toStdString();
        port_.clearError();
        throw CommError(number, what);
    }
    // A pseudo-terminal has no modem-control lines and refuses both requests with
    // UnsupportedOperationError, which onError ignores: the port is usable all the same.
    port_.setDataTerminalReady(true);
    port_.setRequestToSend(false);
    if (!port_.isOpen()) // onError closed a line that failed right away
        throw CommError(comm::ErrOpenFailed, device.toStdString() + ": the line failed");
}

void QtCommControl::closePort() {
    if (port_.isOpen())
        port_.close();
}

bool QtCommControl::applySettings() {
    return port_.setBaudRate(settings_.BaudRate) && port_.setDataBits(settings_.DataBits) &&
           port_.setParity(settings_.Parity) && port_.setStopBits(settings_.StopBits);
}

void QtCommControl::onReadyRead() {
    if (rThreshold_ == 0 || port_.bytesAvailable() < rThreshold_)
        return;
    commEvent_ = comm::EvReceive;
    if (OnComm)
        OnComm();
}

void QtCommControl::onError(QSerialPort::SerialPortError error) {
    // A line whose other end hung up, or whose adapter vanished, fails again on every poll
    // of the event loop: close it at once rather than spin.
    if ((error != QSerialPort::ReadError && error != QSerialPort::ResourceError) || !port_.isOpen())
        return;
    // errno, and so errorString(), is stale after a read that found the line hung up.
    qWarning("Serial port %s closed: %s", qUtf8Printable(port_.portName()),
             error == QSerialPort::ReadError ? "reading failed" : "the device is gone");
    closePort();
}
