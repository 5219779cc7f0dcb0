#include "engine/FirmwarePackage.h"

#include "platform/Text.h"
#include "resources/MessageTable.h"
#include "resources/VersionBlock.h"

namespace qrv {

namespace {

constexpr int kFirstImage = 143;
constexpr int kModelList = 146;
constexpr int kVariantKeys = 353;
constexpr int kCarriedVersion = 108;
constexpr int kMissingFileText = 138;
constexpr int kErrorCaption = 139;

// Lines of an 8-bit item up to its first zero byte: each line ends at a CR
// (an LF right after it is skipped) or at the end; a final CR LF starts no
// further line. At most `limit` lines.
std::vector<std::string> CutLines(ResourceBytes item, std::size_t limit) {
    std::string text;
    for (std::byte b : item) {
        if (b == std::byte{0}) break;
        text.push_back(static_cast<char>(b));
    }
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size() && lines.size() < limit) {
        const std::size_t end = std::min(text.find('\r', pos), text.size());
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 1;
        if (pos < text.size() && text[pos] == '\n') ++pos;
    }
    return lines;
}

std::string WithoutTrailingBlanks(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

}  // namespace

FirmwarePackage::FirmwarePackage(const ResourcePack& pack, OwnerPort* owner) : pack_(pack), owner_(owner) {}

void FirmwarePackage::LoadVersion() { LoadVersion(ProgramVersionBlock().specialBuild); }

void FirmwarePackage::LoadVersion(std::string_view specialBuild) {
    carriedVersion_.clear();
    const auto version = LoadString(kCarriedVersion, pack_);
    if (!version || version->empty()) {
        // Left empty rather than a bare "ver": no camera's version text can
        // match it, so a missing number never passes an upgrade as done.
        ShowMissingItem();
        return;
    }
    carriedVersion_ = "ver" + ToNarrow(*version) + std::string(specialBuild);
}

void FirmwarePackage::LoadModelList() {
    models_.clear();
    const auto item = pack_.Find(ResourceType::Bin, kModelList);
    if (!item) {
        ShowMissingItem();
        return;
    }
    // Empty lines give no name: an empty model name would admit a camera that
    // reports no model at all. At most kMaxModels - 1 names are kept.
    for (auto& name : CutLines(*item, kMaxModels)) {
        if (models_.size() == kMaxModels - 1) break;
        if (!name.empty()) models_.push_back(std::move(name));
    }
}

void FirmwarePackage::LoadVariantKeys() {
    keys_.fill({});
    const auto item = pack_.Find(ResourceType::Bin, kVariantKeys);
    if (!item) {
        ShowMissingItem();
        return;
    }
    const auto lines = CutLines(*item, kSlots);
    for (std::size_t slot = 0; slot < lines.size(); ++slot) keys_[slot] = WithoutTrailingBlanks(lines[slot]);
}

void FirmwarePackage::LoadImages() {
    images_.fill({});
    for (int slot = 0; slot < kSlots; ++slot) {
        if (slot != 0 && keys_[slot].empty()) continue;
        const auto item = pack_.Find(ResourceType::Bin, kFirstImage + slot);
        // An empty item would upload nothing to a camera; it counts as missing.
        if (!item || item->empty()) {
            ShowMissingItem();
            return;
        }
        // A view, not a copy: the embedded pack lives for the whole run, and a
        // pack built by a test outlives the package that reads it.
        images_[slot] = {reinterpret_cast<const std::uint8_t*>(item->data()), item->size()};
    }
}

void FirmwarePackage::LoadAll() {
    LoadVersion();
    LoadModelList();
    LoadVariantKeys();
    LoadImages();
}

int FirmwarePackage::SelectVariant(std::string_view docType) const {
    for (int slot = 0; slot < kSlots; ++slot) {
        if (keys_[slot] == docType) return slot;
    }
    return 0;
}

const std::string& FirmwarePackage::VariantKey(int slot) const {
    static const std::string none;
    return slot >= 0 && slot < kSlots ? keys_[slot] : none;
}

std::span<const std::uint8_t> FirmwarePackage::Image(int slot) const {
    return slot >= 0 && slot < kSlots ? images_[slot] : std::span<const std::uint8_t>();
}

void FirmwarePackage::ShowMissingItem() const {
    if (owner_ == nullptr) return;
    // The words come from the program's own table, whatever pack the package reads.
    const auto& messages = ProgramMessages();
    owner_->ShowMessageBox(MessageBox{messages.Text(kMissingFileText, owner_), messages.Text(kErrorCaption, owner_),
                                      BoxIcon::Stop, BoxButtons::Ok});
}

}  // namespace qrv
