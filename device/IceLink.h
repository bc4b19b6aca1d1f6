#pragma once

#include <cstdint>
#include <string>

namespace keyscope {

// Where the ICE target's program keeps its key table.
struct IceTarget {
    std::uint32_t address = 0;
    std::uint32_t channelCount = 0;  // keys in the table
    std::uint32_t iramSpace = 0;     // 1: the internal RAM
    std::uint32_t valueWidth = 0;    // 2: 16-bit counts; any other width 8-bit counts
};

// The ICE board link as the board connection sees it. Every call returns 1 for
// success and 0 for failure; the link shows its own messages.
class IceLink {
  public:
    virtual ~IceLink() = default;
    // Finds and registers the ICE boards for a chip selector; 1 when at least one was found.
    [[nodiscard]] virtual int openIceLink(std::uint32_t selector) = 0;
    // Closes every registered device; always 1 for a well-behaved link.
    virtual int releaseIceLink() = 0;
    // Reads target memory into out[1..]; out holds 65 bytes zeroed by the caller.
    [[nodiscard]] virtual int readIceBlock(std::uint8_t* out, std::uint16_t address,
                                           std::uint16_t length, std::uint32_t iramSpace) = 0;
    // Why the last failed call failed, in the system's words; empty when it gave none.
    virtual std::string lastFailure() const { return {}; }
};

// Stand-in where no ICE support is built: an open fails, a release succeeds.
class NoIceLink final : public IceLink {
  public:
    int openIceLink(std::uint32_t) override { return 0; }
    int releaseIceLink() override { return 1; }
    int readIceBlock(std::uint8_t*, std::uint16_t, std::uint16_t, std::uint32_t) override {
        return 0;
    }
};

}  // namespace keyscope
