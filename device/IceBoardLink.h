#pragma once
// A board whose target memory an ICE board reads: every read takes the key
// table whole, and the target has no settings bytes and takes no writes.

#include "device/BoardLink.h"
#include "device/IceLink.h"

namespace keyscope {

class IceBoardLink final : public BoardLink {
  public:
    // The link and the target are the connection's; the target may change between reads.
    IceBoardLink(IceLink& ice, const IceTarget& target, LinkContext context)
        : ice_(ice), target_(target), context_(context) {}
    // Finds the ICE boards of the chip the selector names; the link's failure is the reason.
    [[nodiscard]] std::optional<LinkKind> open(std::uint32_t selector) override;
    // False when the memory read failed.
    [[nodiscard]] bool readCycle() override;
    // A failed memory read changes nothing and is no failure.
    [[nodiscard]] bool readKeyValues(std::uint8_t* report) override;
    [[nodiscard]] bool readMaxValues() override;
    // Nothing to send; always taken.
    [[nodiscard]] bool writeKeyValues(std::uint8_t*) override { return true; }

  private:
    [[nodiscard]] bool readImage(std::uint8_t* image);

    IceLink& ice_;
    const IceTarget& target_;
    LinkContext context_;
};

}  // namespace keyscope
