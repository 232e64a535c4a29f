#include "bridge/StationEvents.h"

StationEvents::Connection StationEvents::open(std::uintptr_t socket)
{
    Connection connection;
    connection.message = FirstMessage + m_opened++ % MessageCount;
    connection.socket = socket;
    return connection;
}
