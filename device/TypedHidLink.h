#pragma once
// A typed (292) HID board: a report of each kind (data, key values, max
// values) is asked for by its own call, and 16-bit counts come in two halves,
// a first half followed by a fresh read of the second.

#include "device/HidLink.h"

namespace keyscope {

class TypedHidLink final : public HidLink {
  public:
    using HidLink::HidLink;
    // A first half is followed after 10 ms; the cycle then succeeds whatever the
    // second read gave. The report form sets the value width.
    [[nodiscard]] bool readCycle() override;
    // Each read is tried again once after 100 ms; the settings of a first half stand.
    [[nodiscard]] bool readKeyValues(std::uint8_t* report) override;
    [[nodiscard]] bool readMaxValues() override;

  private:
    using Read = bool (HidModule::*)(std::uint8_t* report);
    enum class ValuesRead {
        Taken,
        Failed,
        EndlessHalves,  // the board kept sending first halves
    };
    [[nodiscard]] bool readWithRetry(Read read, std::uint8_t* report);
    // Key or max values into `field`, following a first half with its second.
    [[nodiscard]] ValuesRead readValues(Read read, std::int32_t ChannelRecord::*field,
                                        std::uint8_t* report, int depth);
};

}  // namespace keyscope
