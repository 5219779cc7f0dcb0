#pragma once
// What the program installs, carried inside it: up to five firmware images by
// variant slot, the variant keys matched against a camera's DocType, the
// supported model names and the carried version text ("ver" + version).

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/OwnerPort.h"
#include "resources/ResourcePack.h"

namespace qrv {

// Supported model names, in resource order (at most 9 are used).
using ModelList = std::vector<std::string>;

class FirmwarePackage {
public:
    static constexpr int kSlots = 5;
    static constexpr int kMaxModels = 10;

    // Nothing is loaded until the Load operations run. Missing items show
    // message 138 with caption 139 through `owner` (when given).
    explicit FirmwarePackage(const ResourcePack& pack = EmbeddedResources(), OwnerPort* owner = nullptr);

    // "ver" + string 108, plus the configured SpecialBuild text when not empty.
    void LoadVersion();
    // The same with a given SpecialBuild text instead of the configured one.
    void LoadVersion(std::string_view specialBuild);
    void LoadModelList();
    void LoadVariantKeys();
    void LoadImages();
    // All four, in the order the wizard runs them.
    void LoadAll();

    // Slot of the first variant key equal to `docType` (exact), else 0.
    int SelectVariant(std::string_view docType) const;

    const ModelList& Models() const { return models_; }
    const std::string& CarriedVersion() const { return carriedVersion_; }
    // The variant key of a slot, trailing blanks removed.
    const std::string& VariantKey(int slot) const;
    // The image of a slot; empty when that slot was not loaded.
    std::span<const std::uint8_t> Image(int slot) const;

private:
    // Message 138 with caption 139 and the stop icon, when there is an owner.
    void ShowMissingItem() const;

    const ResourcePack& pack_;
    OwnerPort* owner_;
    ModelList models_;
    std::string carriedVersion_;
    std::array<std::string, kSlots> keys_;
    std::array<std::span<const std::uint8_t>, kSlots> images_;
};

}  // namespace qrv
