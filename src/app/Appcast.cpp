#include "Appcast.h"

#include "VersionComparator.h"

#include <QXmlStreamReader>

namespace {

QString sparkleAttribute(const QXmlStreamAttributes& attributes, const QString& name) {
    return attributes.value(QLatin1String(Appcast::sparkleNamespace), name).toString().trimmed();
}

// Only links a browser should open.
QUrl webURL(const QString& text) {
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == u"https" || scheme == u"http") ? url : QUrl();
}

void readItem(QXmlStreamReader& xml, std::vector<AppcastItem>& items) {
    AppcastItem item;
    QUrl pageURL;
    const QString sparkle = QLatin1String(Appcast::sparkleNamespace);
    while (xml.readNextStartElement()) {
        const auto name = xml.name();
        const bool isSparkle = xml.namespaceUri() == sparkle;
        const bool isPlain = xml.namespaceUri().isEmpty();
        if (isPlain && name == u"enclosure") {
            const QXmlStreamAttributes attributes = xml.attributes();
            // A later unusable enclosure doesn't undo an earlier good one.
            if (const QUrl url = webURL(attributes.value(QStringLiteral("url")).toString());
                !url.isEmpty()) {
                item.downloadURL = url;
            }
            if (const QString v = sparkleAttribute(attributes, QStringLiteral("version"));
                !v.isEmpty()) {
                item.version = v;
            }
            if (const QString v =
                    sparkleAttribute(attributes, QStringLiteral("shortVersionString"));
                !v.isEmpty()) {
                item.shortVersionString = v;
            }
            xml.skipCurrentElement();
        } else if (isSparkle && name == u"version") {
            item.version = xml.readElementText().trimmed();
        } else if (isSparkle && name == u"shortVersionString") {
            item.shortVersionString = xml.readElementText().trimmed();
        } else if (isSparkle && name == u"releaseNotesLink") {
            item.releaseNotesURL = webURL(xml.readElementText());
        } else if (isPlain && name == u"link") {
            pageURL = webURL(xml.readElementText());
        } else {
            xml.skipCurrentElement();
        }
    }
    // An item without a file may still point at a download page.
    if (item.downloadURL.isEmpty()) {
        item.downloadURL = pageURL;
    }
    if (!item.version.isEmpty() && !item.downloadURL.isEmpty()) {
        items.push_back(std::move(item));
    }
}

// The reader's reason inside a sentence of ours, which brings its own full stop.
QString withoutFullStop(QString reason) {
    while (reason.endsWith(u'.')) {
        reason.chop(1);
    }
    return reason;
}

} // namespace

Result<std::vector<AppcastItem>> Appcast::parse(const QByteArray& feed) {
    QXmlStreamReader xml(feed);
    std::vector<AppcastItem> items;
    if (!xml.readNextStartElement() || xml.name() != u"rss") {
        return Failure::because(
            xml.hasError()
                ? tr("The update feed isn't valid XML: %1.").arg(withoutFullStop(xml.errorString()))
                : tr("The update feed isn't an RSS feed."));
    }
    while (xml.readNextStartElement()) {
        if (xml.name() != u"channel") {
            xml.skipCurrentElement();
            continue;
        }
        while (xml.readNextStartElement()) {
            if (xml.name() == u"item") {
                if (items.size() >= maximumItems) {
                    return items;
                }
                readItem(xml, items);
            } else {
                xml.skipCurrentElement();
            }
        }
    }
    if (xml.hasError()) {
        return Failure::because(
            tr("The update feed isn't valid XML: %1.").arg(withoutFullStop(xml.errorString())));
    }
    return items;
}

std::optional<AppcastItem> Appcast::newestItem(const std::vector<AppcastItem>& items) {
    std::optional<AppcastItem> newest;
    for (const AppcastItem& item : items) {
        if (!newest || VersionComparator::compare(item.version, newest->version) > 0) {
            newest = item;
        }
    }
    return newest;
}
