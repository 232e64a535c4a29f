#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

// The controller's serial line (the design's MSComm1): a port name, opened at 9600 baud, no parity,
// 8 data bits, 1 stop bit, no flow control and DTR off; non-blocking writes and reads. The platform's
// implementation is chosen by the build (SerialLinePosix.cpp, SerialLineWin.cpp).
class SerialLine : public QObject
{
    Q_OBJECT
public:
    enum class Fault { Read, Resource, Other };

    using QObject::QObject;
    ~SerialLine() override = default;

    virtual void setPortName(const QString& name) = 0;
    virtual QString portName() const = 0;
    virtual bool open() = 0;
    virtual bool isOpen() const = 0;
    virtual void close() = 0;
    // Queues the bytes for the line; the number queued, or -1.
    virtual qint64 write(const QByteArray& bytes) = 0;
    // Starts sending what was queued without waiting for it to leave.
    virtual void flush() = 0;
    virtual QByteArray readAll() = 0;
    virtual qint64 bytesAvailable() const = 0;
    // Received bytes beyond this wait in the device until the next read (0: no limit).
    virtual void setReadBufferSize(qint64 bytes) = 0;
    virtual QString errorString() const = 0;

signals:
    void readyRead();
    // Read and resource faults mean the device is gone (cable pulled, adapter removed).
    void faulted(SerialLine::Fault fault);
};

std::unique_ptr<SerialLine> makeSerialLine(QObject* parent = nullptr);
