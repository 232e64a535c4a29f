#include "core/SerialLine.h"

#include <QSerialPort>

namespace {

class QtSerialLine final : public SerialLine
{
public:
    explicit QtSerialLine(QObject* parent)
        : SerialLine(parent)
    {
        connect(&m_port, &QSerialPort::readyRead, this, &SerialLine::readyRead);
        connect(&m_port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
            switch (error) {
            case QSerialPort::NoError:
                return;
            case QSerialPort::ReadError:
                emit faulted(Fault::Read);
                return;
            case QSerialPort::ResourceError:
                emit faulted(Fault::Resource);
                return;
            default:
                emit faulted(Fault::Other);
            }
        });
    }

    void setPortName(const QString& name) override { m_port.setPortName(name); }
    QString portName() const override { return m_port.portName(); }

    bool open() override
    {
        m_port.setBaudRate(QSerialPort::Baud9600);
        m_port.setParity(QSerialPort::NoParity);
        m_port.setDataBits(QSerialPort::Data8);
        m_port.setStopBits(QSerialPort::OneStop);
        m_port.setFlowControl(QSerialPort::NoFlowControl);
        if (!m_port.open(QIODevice::ReadWrite))
            return false;
        m_port.setDataTerminalReady(false);
        return true;
    }

    bool isOpen() const override { return m_port.isOpen(); }
    void close() override { m_port.close(); }
    qint64 write(const QByteArray& bytes) override { return m_port.write(bytes); }
    void flush() override { m_port.flush(); }
    QByteArray readAll() override { return m_port.readAll(); }
    qint64 bytesAvailable() const override { return m_port.bytesAvailable(); }
    void setReadBufferSize(qint64 bytes) override { m_port.setReadBufferSize(bytes); }
    QString errorString() const override { return m_port.errorString(); }

private:
    QSerialPort m_port;
};

} // namespace

std::unique_ptr<SerialLine> makeSerialLine(QObject* parent)
{
    return std::make_unique<QtSerialLine>(parent);
}
