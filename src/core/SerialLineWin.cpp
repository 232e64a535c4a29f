#include "core/SerialLine.h"

#include <QWinEventNotifier>

#include <windows.h>

namespace {

constexpr DWORD kReadChunkBytes = 4096;

QString systemMessage(DWORD code)
{
    wchar_t* text = nullptr;
    const DWORD size = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString message =
        size ? QString::fromWCharArray(text, int(size)).trimmed() : QStringLiteral("error %1").arg(code);
    ::LocalFree(text);
    return message;
}

// An overlapped operation with the event a notifier watches; the OVERLAPPED must stay in place while
// the operation runs.
struct Pending
{
    OVERLAPPED overlapped{};
    bool running = false;

    Pending() { overlapped.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~Pending() { ::CloseHandle(overlapped.hEvent); }
    Pending(const Pending&) = delete;
    Pending& operator=(const Pending&) = delete;
    void reset()
    {
        const HANDLE event = overlapped.hEvent;
        overlapped = OVERLAPPED{};
        overlapped.hEvent = event;
        ::ResetEvent(event);
    }
};

// "\\.\COM<N>" through overlapped Win32 calls: the line's events (EV_RXCHAR) and finished writes
// reach the event loop through QWinEventNotifier, so nothing polls and nothing blocks.
class WinSerialLine final : public SerialLine
{
public:
    explicit WinSerialLine(QObject* parent)
        : SerialLine(parent)
        , m_eventNotifier(m_event.overlapped.hEvent)
        , m_writeNotifier(m_write.overlapped.hEvent)
    {
        m_eventNotifier.setEnabled(false);
        m_writeNotifier.setEnabled(false);
        connect(&m_eventNotifier, &QWinEventNotifier::activated, this, [this] { lineEvent(); });
        connect(&m_writeNotifier, &QWinEventNotifier::activated, this, [this] { writeFinished(); });
    }

    ~WinSerialLine() override { close(); }

    void setPortName(const QString& name) override { m_name = name; }
    QString portName() const override { return m_name; }

    bool open() override
    {
        close();
        // COM10 and above are reachable only through the device namespace.
        const QString path =
            m_name.startsWith(QLatin1String("\\\\.\\")) ? m_name : QStringLiteral("\\\\.\\") + m_name;
        m_handle = ::CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), GENERIC_READ | GENERIC_WRITE,
                                 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (m_handle == INVALID_HANDLE_VALUE)
            return fail();
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(m_handle, &dcb))
            return failAndClose();
        dcb.BaudRate = CBR_9600;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fParity = FALSE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fNull = FALSE;
        dcb.fAbortOnError = FALSE;
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        if (!::SetCommState(m_handle, &dcb))
            return failAndClose();
        // A read returns at once with what the driver holds.
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        if (!::SetCommTimeouts(m_handle, &timeouts) || !::SetCommMask(m_handle, EV_RXCHAR | EV_ERR))
            return failAndClose();
        ::PurgeComm(m_handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
        m_eventNotifier.setEnabled(true);
        m_writeNotifier.setEnabled(true);
        m_error.clear();
        waitForLineEvent();
        return isOpen();
    }

    bool isOpen() const override { return m_handle != INVALID_HANDLE_VALUE; }

    void close() override
    {
        if (!isOpen())
            return;
        m_eventNotifier.setEnabled(false);
        m_writeNotifier.setEnabled(false);
        ::CancelIo(m_handle);
        DWORD ignored = 0;
        // Cancelled operations still write to their OVERLAPPED: let them end before it is reused.
        if (m_event.running)
            ::GetOverlappedResult(m_handle, &m_event.overlapped, &ignored, TRUE);
        if (m_write.running)
            ::GetOverlappedResult(m_handle, &m_write.overlapped, &ignored, TRUE);
        m_event.running = m_write.running = false;
        ::CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
        m_received.clear();
        m_queued.clear();
        m_inFlight.clear();
    }

    qint64 write(const QByteArray& bytes) override
    {
        if (!isOpen())
            return -1;
        m_queued += bytes;
        return bytes.size();
    }

    void flush() override { startWrite(); }

    QByteArray readAll() override
    {
        // What waited in the driver while the buffer was full comes in now.
        readDevice();
        return std::exchange(m_received, QByteArray());
    }

    qint64 bytesAvailable() const override { return m_received.size(); }
    void setReadBufferSize(qint64 bytes) override { m_limit = bytes; }
    QString errorString() const override { return m_error; }

private:
    bool fail()
    {
        m_error = systemMessage(::GetLastError());
        return false;
    }

    bool failAndClose()
    {
        fail();
        ::CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
        return false;
    }

    void lost(DWORD code)
    {
        m_error = systemMessage(code);
        emit faulted(code == ERROR_ACCESS_DENIED || code == ERROR_BAD_COMMAND ||
                             code == ERROR_DEVICE_REMOVED || code == ERROR_OPERATION_ABORTED ||
                             code == ERROR_INVALID_HANDLE
                         ? Fault::Resource
                         : Fault::Read);
    }

    void waitForLineEvent()
    {
        while (isOpen() && !m_event.running) {
            m_event.reset();
            m_mask = 0;
            if (::WaitCommEvent(m_handle, &m_mask, &m_event.overlapped)) {
                // Already there: take it now and arm again.
                if (!takeLineEvent())
                    return;
                continue;
            }
            const DWORD code = ::GetLastError();
            if (code != ERROR_IO_PENDING) {
                lost(code);
                return;
            }
            m_event.running = true;
        }
    }

    void lineEvent()
    {
        // The event of an operation that ended at once can still fire after the next one started.
        if (!isOpen() || !m_event.running || !HasOverlappedIoCompleted(&m_event.overlapped))
            return;
        DWORD ignored = 0;
        m_event.running = false;
        if (!::GetOverlappedResult(m_handle, &m_event.overlapped, &ignored, FALSE)) {
            const DWORD code = ::GetLastError();
            // Wine ends a pending wait when the line's state is asked or written meanwhile: the line
            // itself is fine, so read what came and wait again.
            if (code != ERROR_OPERATION_ABORTED) {
                lost(code);
                return;
            }
            m_mask = EV_RXCHAR;
        }
        if (takeLineEvent())
            waitForLineEvent();
    }

    // False when the line is gone.
    bool takeLineEvent()
    {
        if (m_mask & EV_ERR) {
            DWORD errors = 0;
            ::ClearCommError(m_handle, &errors, nullptr);
        }
        const qint64 before = m_received.size();
        if (!readDevice())
            return false;
        if (m_received.size() > before)
            emit readyRead();
        return isOpen();
    }

    bool readDevice()
    {
        while (isOpen() && (m_limit <= 0 || m_received.size() < m_limit)) {
            DWORD errors = 0;
            COMSTAT status{};
            if (!::ClearCommError(m_handle, &errors, &status)) {
                lost(::GetLastError());
                return false;
            }
            DWORD wanted = std::min<DWORD>(status.cbInQue, kReadChunkBytes);
            if (m_limit > 0)
                wanted = std::min<DWORD>(wanted, DWORD(m_limit - m_received.size()));
            if (wanted == 0)
                return true;
            Pending read;
            QByteArray chunk(int(wanted), Qt::Uninitialized);
            DWORD got = 0;
            // With the read time-outs at MAXDWORD/0/0 the read ends at once even when overlapped.
            if (!::ReadFile(m_handle, chunk.data(), wanted, &got, &read.overlapped)) {
                const DWORD code = ::GetLastError();
                if (code != ERROR_IO_PENDING ||
                    !::GetOverlappedResult(m_handle, &read.overlapped, &got, TRUE)) {
                    lost(code == ERROR_IO_PENDING ? ::GetLastError() : code);
                    return false;
                }
            }
            if (got == 0)
                return true;
            m_received.append(chunk.constData(), int(got));
        }
        return true;
    }

    void startWrite()
    {
        if (!isOpen() || m_write.running || m_queued.isEmpty())
            return;
        m_inFlight = std::exchange(m_queued, QByteArray());
        m_write.reset();
        DWORD written = 0;
        if (::WriteFile(m_handle, m_inFlight.constData(), DWORD(m_inFlight.size()), &written,
                        &m_write.overlapped)) {
            m_inFlight.clear();
            startWrite();
            return;
        }
        const DWORD code = ::GetLastError();
        if (code != ERROR_IO_PENDING) {
            m_inFlight.clear();
            lost(code);
            return;
        }
        m_write.running = true;
    }

    void writeFinished()
    {
        if (!isOpen() || !m_write.running || !HasOverlappedIoCompleted(&m_write.overlapped))
            return;
        DWORD written = 0;
        m_write.running = false;
        const bool done = ::GetOverlappedResult(m_handle, &m_write.overlapped, &written, FALSE);
        const DWORD code = done ? ERROR_SUCCESS : ::GetLastError();
        // What an aborted write did not send goes again, ahead of what was queued since.
        const QByteArray unsent = m_inFlight.mid(qsizetype(written));
        m_inFlight.clear();
        if (!done && code != ERROR_OPERATION_ABORTED) {
            lost(code);
            return;
        }
        if (!done)
            m_queued.prepend(unsent);
        startWrite();
    }

    QString m_name;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    Pending m_event;
    Pending m_write;
    DWORD m_mask = 0;
    QWinEventNotifier m_eventNotifier;
    QWinEventNotifier m_writeNotifier;
    QByteArray m_received;
    QByteArray m_queued;
    QByteArray m_inFlight;
    qint64 m_limit = 0;
    QString m_error;
};

} // namespace

std::unique_ptr<SerialLine> makeSerialLine(QObject* parent)
{
    return std::make_unique<WinSerialLine>(parent);
}
