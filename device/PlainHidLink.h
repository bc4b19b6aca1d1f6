#pragma once
// A plain (296) HID board: one report form for every read, 8-bit counts, and
// no second try of a read.

#include "device/HidLink.h"

namespace keyscope {

class PlainHidLink final : public HidLink {
  public:
    using HidLink::HidLink;
    [[nodiscard]] bool readCycle() override;
    // The settings bytes come with the key values.
    [[nodiscard]] bool readKeyValues(std::uint8_t* report) override;
    [[nodiscard]] bool readMaxValues() override;

  private:
    // One report into `report`, or the failure said.
    [[nodiscard]] bool read(std::uint8_t* report);
};

}  // namespace keyscope
