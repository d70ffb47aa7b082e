#include "packages/PackageIcon.h"

#include <algorithm>

#include <xxhash.h>

#include "core/SysShell.h"
#include "files/VDir.h"
#include "gui/IconFile.h"
#include "gui/IconLocation.h"

namespace {

constexpr uint32_t kIdSeed = 0x1F972CA6;
const wchar_t* const kResScheme = L"res";
const wchar_t* const kCacheScheme = L"cache";
const wchar_t* const kSchemeSeparator = L"://";

wstr normalizeLocation(const wstr& text) {
    const Sys::IconLocation location = Sys::parseIconLocation(text);
    if (location.path.empty())
        return wstr();
    wstr result;
    return wstr::format(result, L"@{},{}", location.path, location.index);
}

// '\' reads as '/' and runs of '/' as one; the package name (the first
// component) is lower-cased, as every package lookup ignores its case, and
// the path keeps its case.
wstr normalizeResourcePath(wstr rest) {
    std::replace(rest.begin(), rest.end(), L'\\', L'/');
    while (rest.find(L"//") != wstr::npos)
        wstr::replaceAll(rest, L"//", L"/");
    const size_t start = rest.find_first_not_of(L'/');
    if (start == wstr::npos)
        return rest;
    const size_t end = std::min(rest.find(L'/', start), rest.size());
    const wstr name = wstr::lowerCopy(std::wstring_view(rest).substr(start, end - start));
    return rest.replace(start, end - start, name);
}

// The source's scheme prefix ("res://" or "cache://") in lower case, matched
// without case; empty when it has neither.
wstr schemePrefix(const wstr& text) {
    for (const wchar_t* scheme : {kResScheme, kCacheScheme}) {
        const wstr prefix = wstr(scheme) + kSchemeSeparator;
        if (wstr::startsWith(text, prefix, false))
            return prefix;
    }
    return wstr();
}

uint32_t sourcesHash(const std::vector<wstr>& texts) {
    XXH32_state_t* state = XXH32_createState();
    XXH32_reset(state, kIdSeed);
    for (const auto& text : texts) {
        const std::string utf8 = wstr::toUtf8(text);
        XXH32_update(state, utf8.data(), utf8.size());
    }
    const uint32_t hash = XXH32_digest(state);
    XXH32_freeState(state);
    return hash == 0 ? 1 : hash;
}

std::vector<wstr> keptSources(const std::vector<wstr>& texts) {
    std::vector<wstr> kept;
    for (const auto& text : texts) {
        wstr normalized = PackageIcon::normalizeSource(text);
        if (!normalized.empty() && std::find(kept.begin(), kept.end(), normalized) == kept.end())
            kept.push_back(std::move(normalized));
    }
    return kept;
}

// A path that climbs out of the folder it is read from.
bool climbsOut(const wstr& path) {
    const auto parts = wstr::tokenize(path, L"/");
    return std::find(parts.begin(), parts.end(), L"..") != parts.end();
}

int32_t sideOf(const Gui::IconImage& image) {
    return std::max(image.width, image.height);
}

int32_t sideOf(const QImage& image) {
    return std::max(image.width(), image.height());
}

} // namespace

PackageIcon::PackageIcon(uint32_t packageId, const std::vector<wstr>& texts,
                         std::weak_ptr<Resources> resources)
    : resources_(std::move(resources)) {
    const std::vector<wstr> kept = keptSources(texts);
    for (const auto& text : kept)
        sources_.push_back({text, {}, {}});
    id_ = kept.empty() ? 0 : uint64_t(packageId) << 32 | sourcesHash(kept);
}

wstr PackageIcon::normalizeSource(const wstr& text) {
    if (text.empty())
        return wstr();
    if (text.front() == L'@')
        return normalizeLocation(text);
    const wstr prefix = schemePrefix(text);
    if (prefix.empty())
        return wstr();
    return prefix + normalizeResourcePath(text.substr(prefix.size()));
}

Gui::Bitmap PackageIcon::getIcon(int32_t size) {
    if (size < 0 || id_ == 0)
        return nullptr;
    Mutex::Lock lock(mutex_);
    // Each offered size goes to the first source that offers it.
    std::map<int32_t, Source*> table;
    for (auto& source : sources_) {
        listSizes(source);
        for (int32_t offered : source.sizes)
            table.emplace(offered, &source);
    }
    if (auto exact = table.find(size); exact != table.end())
        if (auto bitmap = bitmapFor(*exact->second, size, size))
            return bitmap;
    auto larger = table.upper_bound(size);
    if (larger != table.end())
        if (auto bitmap = bitmapFor(*larger->second, size, larger->first))
            return bitmap;
    auto smaller = table.lower_bound(size);
    if (smaller == table.begin())
        return nullptr;
    --smaller;
    return bitmapFor(*smaller->second, size, smaller->first);
}

void PackageIcon::listSizes(Source& source) {
    if (!source.sizes.empty())
        return;
    std::vector<Gui::IconImage> images;
    if (source.text.front() == L'@') {
        if (auto group = Gui::listIconGroups(source.text))
            images = std::move(group->images);
    } else {
        const auto bytes = readBytes(source.text);
        images = Gui::loadIconDirectory(bytes);
        if (images.empty()) {
            // Another image offers its one natural size, decoded right away.
            const QImage image = Gui::imageFromStream(bytes);
            if (auto bitmap = Gui::toBitmap(image, 0, 0)) {
                source.bitmaps[sideOf(image)] = bitmap;
                source.sizes.insert(sideOf(image));
            }
        }
    }
    for (const auto& image : images)
        if (image.isValid())
            source.sizes.insert(sideOf(image));
}

Gui::Bitmap PackageIcon::bitmapFor(Source& source, int32_t wanted, int32_t imageSize) {
    if (auto stored = source.bitmaps.find(wanted); stored != source.bitmaps.end())
        return stored->second;
    listSizes(source);
    if (source.sizes.empty() || wanted < 0)
        return nullptr;
    Gui::Bitmap bitmap;
    auto natural = source.bitmaps.find(imageSize);
    if (wanted > 0 && wanted != imageSize && natural != source.bitmaps.end())
        bitmap = Gui::scaleBitmap(natural->second, wanted, wanted);
    else
        bitmap = load(source, wanted, imageSize);
    if (!bitmap)
        return nullptr;
    source.bitmaps[wanted] = bitmap;
    source.sizes.insert(wanted);
    if (wanted == 0)
        source.bitmaps[bitmap->width()] = bitmap;
    return bitmap;
}

Gui::Bitmap PackageIcon::load(const Source& source, int32_t wanted, int32_t imageSize) {
    if (source.text.front() == L'@')
        return Gui::loadImageFromModule(source.text, wanted, wanted);
    const auto bytes = readBytes(source.text);
    if (!Gui::loadIconDirectory(bytes).empty())
        return Gui::toBitmap(Gui::iconFromIcoData(bytes, imageSize, imageSize), wanted, wanted);
    return Gui::toBitmap(Gui::imageFromStream(bytes), wanted, wanted);
}

std::vector<uint8_t> PackageIcon::readBytes(const wstr& text) {
    std::vector<uint8_t> bytes;
    const auto tokens = wstr::tokenize(text, L":/", 3);
    auto resources = resources_.lock();
    if (tokens.size() != 3 || !resources || climbsOut(tokens[2]))
        return bytes;
    const wstr& package = tokens[1];
    if (tokens[0] == kResScheme) {
        if (!resources->readResource(package, tokens[2], kReadLimit, bytes))
            bytes.clear();
        return bytes;
    }
    if (!resources->hasPackage(package))
        return bytes;
    // The cache folder is looked up without case, like the package's files.
    VDirPhys cache;
    if (!cache.open(resources->localPackagesFolder()))
        return bytes;
    auto read = cache.readFile(package + L"/" + tokens[2], kReadLimit);
    if (read.status == VDir::ReadResult::Done)
        bytes = std::move(read.bytes);
    return bytes;
}
