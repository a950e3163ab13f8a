#pragma once

#include "AppcastItem.h"
#include "Failure.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <cstddef>
#include <optional>
#include <vector>

// Reads an RSS update feed ("appcast"): each item names a version, a short version string, a
// download and optionally its release notes, as Sparkle-namespace elements or as attributes of
// the item's enclosure.
class Appcast {
    Q_DECLARE_TR_FUNCTIONS(Appcast)

public:
    Appcast() = delete;

    static constexpr auto sparkleNamespace = "http://www.andymatuschak.org/xml-namespaces/sparkle";
    // Items past this many are not read: a feed lists a handful.
    static constexpr std::size_t maximumItems = 1000;

    // The usable items, in feed order; why not, when the feed isn't well-formed RSS.
    static Result<std::vector<AppcastItem>> parse(const QByteArray& feed);

    // The item with the highest version; nothing for an empty list.
    static std::optional<AppcastItem> newestItem(const std::vector<AppcastItem>& items);
};
