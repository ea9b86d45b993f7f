#include "tools/cvlog_sim/command_frame_reader.h"

#include <algorithm>

namespace cvlog::sim
{

namespace
{
constexpr std::size_t kHeaderSize = 3; // start, address, length
constexpr std::size_t kFrameExtra = 5; // header, checksum, end
} // namespace

std::uint8_t FrameChecksum(std::uint8_t address, std::span<const std::uint8_t> body)
{
    auto sum = static_cast<std::uint8_t>(kChecksumSeed ^ address ^ static_cast<std::uint8_t>(body.size()));
    for (auto b : body)
        sum ^= b;
    return sum;
}

std::vector<std::uint8_t> BuildFrame(std::uint8_t address, std::span<const std::uint8_t> body)
{
    std::vector<std::uint8_t> frame { kStartByte, address, static_cast<std::uint8_t>(body.size()) };
    frame.insert(frame.end(), body.begin(), body.end());
    frame.push_back(FrameChecksum(address, body));
    frame.push_back(kEndByte);
    return frame;
}

CommandFrameReader::Result CommandFrameReader::Feed(std::span<const std::uint8_t> bytes)
{
    Result result;
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());

    std::size_t pos = 0;
    while (true) {
        const auto start
            = std::find(pending_.begin() + static_cast<std::ptrdiff_t>(pos), pending_.end(), kStartByte);
        pos = static_cast<std::size_t>(start - pending_.begin());
        if (pending_.size() - pos < kHeaderSize)
            break;
        const std::uint8_t address = pending_[pos + 1];
        const std::uint8_t length = pending_[pos + 2];
        const std::size_t total = length + kFrameExtra;
        if (length == 0 || length > kMaxBody) {
            result.rejected.emplace_back(pending_.begin() + static_cast<std::ptrdiff_t>(pos),
                pending_.begin() + static_cast<std::ptrdiff_t>(pos + kHeaderSize));
            ++pos;
            continue;
        }
        if (pending_.size() - pos < total)
            break;
        const auto first = pending_.begin() + static_cast<std::ptrdiff_t>(pos);
        const std::span<const std::uint8_t> body(&pending_[pos + kHeaderSize], length);
        const bool good = pending_[pos + total - 2] == FrameChecksum(address, body)
            && pending_[pos + total - 1] == kEndByte;
        if (!good) {
            result.rejected.emplace_back(first, first + static_cast<std::ptrdiff_t>(total));
            ++pos;
            continue;
        }
        result.frames.push_back({ address, { body.begin(), body.end() } });
        pos += total;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pos));
    return result;
}

} // namespace cvlog::sim
