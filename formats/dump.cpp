// Formats by name and file extension, and the dispatch to each format's reader and writer.
#include "formats/codec.h"
#include "formats/files.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace varrok::dump {

namespace {

struct Extension {
    const char* suffix;
    Format format;
};
constexpr std::array<Extension, 6> kExtensions{{{".json", Format::Json},
                                                {".bin", Format::Binary},
                                                {".mfd", Format::Binary},
                                                {".dump", Format::Binary},
                                                {".eml", Format::Eml},
                                                {".mct", Format::Mct}}};

} // namespace

Format formatOf(const std::string& path) {
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    for (const auto& e : kExtensions)
        if (lower.ends_with(e.suffix)) return e.format;
    throw Error(path + ": not a dump file name (.json, .bin, .mfd, .dump, .eml or .mct)");
}

const char* formatName(Format format) {
    switch (format) {
    case Format::Json:
        return "json";
    case Format::Binary:
        return "binary";
    case Format::Eml:
        return "eml";
    case Format::Mct:
        return "mct";
    }
    return "";
}

std::optional<Format> formatFromName(std::string_view name) {
    for (auto format : {Format::Json, Format::Binary, Format::Eml, Format::Mct})
        if (name == formatName(format)) return format;
    return std::nullopt;
}

Card read(const std::string& path, Family family) {
    auto format = formatOf(path);
    return parse(readBounded(path), format, family, path);
}

Card parse(std::string_view content, Format format, Family family, const std::string& name) {
    if (content.size() > kMaxFileSize) throw Error(name + ": larger than any card dump");
    switch (format) {
    case Format::Json:
        return parseJson(content, family, name);
    case Format::Binary:
        return parseBinary(content, family, name);
    case Format::Eml:
        return parseEml(content, family, name);
    case Format::Mct:
        return parseMct(content, family, name);
    }
    throw Error(name + ": unknown format");
}

std::string serialize(const Card& card, Format format) {
    switch (format) {
    case Format::Json:
        return serializeJson(card);
    case Format::Binary:
        return serializeBinary(card);
    case Format::Eml:
        return serializeEml(card);
    case Format::Mct:
        return serializeMct(card);
    }
    throw Error("unknown dump format");
}

void write(const std::string& path, const Card& card, Format format) {
    replaceFile(path, serialize(card, format));
}

} // namespace varrok::dump
