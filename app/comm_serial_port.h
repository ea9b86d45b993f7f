#pragma once
// The link's serial transport over the main window's channel Comm1.

#include "link/link_ports.h"

namespace cvlog
{

class TComm;

class CommSerialPort : public SerialPort
{
public:
    explicit CommSerialPort(TComm& comm);

    void write(const std::uint8_t* bytes, std::size_t count) override;
    int read(std::uint8_t* buffer, std::size_t maxCount) override;

private:
    TComm& comm;
};

} // namespace cvlog
