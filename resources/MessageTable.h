#pragma once
// The numbered texts the program shows: each item is stored UTF-16LE, starts
// with a byte-order mark and ends at its first NUL. Lookups return an owned
// copy, so they are safe from any thread.

#include <optional>
#include <string>

#include "platform/OwnerPort.h"
#include "resources/ResourcePack.h"

namespace qrv {

class MessageTable {
public:
    explicit MessageTable(const ResourcePack& pack = EmbeddedResources());

    // The text of item `number`. When the table has no such item the box
    // "Not found the upgrade file. " with the caption "Error" is shown through
    // `owner` (when one is given) and nothing is returned.
    std::optional<std::u16string> Lookup(int number, OwnerPort* owner) const;
    // The same, with an empty text for a missing item.
    std::u16string Text(int number, OwnerPort* owner) const;

private:
    const ResourcePack& pack_;
};

// The table over the embedded resources, shared by the whole program.
const MessageTable& ProgramMessages();

// The plain string table (103, 108, 123, 124); nothing for a missing number.
std::optional<std::u16string> LoadString(int number, const ResourcePack& pack = EmbeddedResources());

}  // namespace qrv
