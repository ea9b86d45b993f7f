#include "app/comm_serial_port.h"

#include "link/comm.h"

#include <algorithm>
#include <limits>

namespace cvlog
{

namespace
{

int channelCount(std::size_t count)
{
    return static_cast<int>(std::min<std::size_t>(count, std::numeric_limits<int>::max()));
}

} // namespace

CommSerialPort::CommSerialPort(TComm& comm)
    : comm(comm)
{
}

void CommSerialPort::write(const std::uint8_t* bytes, std::size_t count)
{
    comm.Write(bytes, channelCount(count));
}

int CommSerialPort::read(std::uint8_t* buffer, std::size_t maxCount)
{
    return comm.Read(buffer, channelCount(maxCount));
}

} // namespace cvlog
