#include "package.hpp"

#include <algorithm>

#include "utf16.hpp"

namespace velmora::core {

struct Package::Shared {
    explicit Shared(Archive opened) : archive(std::move(opened)) {}

    Archive archive;
    std::vector<Part> parts;
    opc::NameIndex index;  // lowercased part name -> position in `parts`
    std::optional<std::size_t> content_types_entry;
    PackageDefects facts;  // what indexing found; the rest is added in defects()

    mutable std::once_flag content_types_once;
    mutable ParsedContentTypes content_types;
    mutable std::once_flag defects_once;
    mutable PackageDefects defects;
};

namespace {

constexpr std::string_view content_types_name = "[Content_Types].xml";

// A piece of a part stored in pieces: "X/[N].piece" or "X/[N].last.piece".
struct PieceName {
    std::size_t folder_size;  // the length of X
    std::uint64_t number;
    bool last;
};

std::optional<PieceName> parse_piece(std::string_view lowercased) {
    const std::size_t slash = lowercased.rfind('/');
    if (slash == std::string_view::npos || slash == 0) return std::nullopt;
    const std::string_view file = lowercased.substr(slash + 1);
    const std::size_t close = file.find(']');
    if (!file.starts_with('[') || close == std::string_view::npos) return std::nullopt;
    const std::string_view digits = file.substr(1, close - 1);
    const std::string_view rest = file.substr(close + 1);
    const bool last = rest == ".last.piece";
    if (!last && rest != ".piece") return std::nullopt;
    if (digits.empty() || (digits.size() > 1 && digits[0] == '0')) return std::nullopt;
    std::uint64_t number = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        // An absurd number saturates: its group can never be complete.
        number = number > (UINT64_MAX - digit) / 10 ? UINT64_MAX : number * 10 + digit;
    }
    return PieceName{slash, number, last};
}

struct Piece {
    std::uint64_t number;
    bool last;
    std::size_t entry;
};

struct PieceGroup {
    std::string name;  // the part name, spelled as first met
    std::vector<Piece> pieces;
};

bool complete(std::vector<Piece>& pieces) {
    std::sort(pieces.begin(), pieces.end(), [](const Piece& a, const Piece& b) { return a.number < b.number; });
    for (std::size_t i = 0; i < pieces.size(); ++i)
        if (pieces[i].number != i || pieces[i].last != (i + 1 == pieces.size())) return false;
    return true;
}

void transcode_utf16(Bytes& bytes) {
    if (auto utf8 = utf16_xml_to_utf8(as_chars(bytes))) bytes.assign(utf8->begin(), utf8->end());
}

}  // namespace

bool is_compound_file(ByteView bytes) {
    static constexpr std::uint8_t signature[4] = {0xD0, 0xCF, 0x11, 0xE0};
    return bytes.size() >= 4 && std::equal(signature, signature + 4, bytes.begin());
}

Result<Package> Package::from_bytes(Bytes bytes) {
    if (is_compound_file(bytes)) return fail(Error::compound_file());
    auto archive = Archive::open(std::make_shared<MemorySource>(std::move(bytes)));
    if (!archive) return fail(archive.error());
    return from_archive(std::move(*archive));
}

Result<Package> Package::open_path(const std::string& path) {
    auto source = FileSource::open(path);
    if (!source) return fail(source.error());
    // A legacy deck may embed OOXML objects whose archives would otherwise be
    // found inside it, so the compound-file signature is looked at first.
    if ((*source)->len() >= 4) {
        std::uint8_t head[4];
        if (auto read = (*source)->read_at(0, head); !read) return fail(read.error());
        if (is_compound_file(head)) return fail(Error::compound_file());
    }
    auto archive = Archive::open(std::move(*source));
    if (!archive) return fail(archive.error());
    return from_archive(std::move(*archive));
}

Package Package::from_archive(Archive archive) {
    auto shared = std::make_shared<Shared>(std::move(archive));
    PackageDefects& facts = shared->facts;
    std::vector<PieceGroup> groups;
    opc::NameIndex group_index;

    // Adds a part unless its lowercased name is taken; a differently spelled
    // clash is recorded as a collision.
    auto add_part = [&](Part part) {
        std::string key = opc::ascii_lowercase(part.name);
        const auto [existing, added] = shared->index.try_emplace(std::move(key), shared->parts.size());
        if (added) {
            shared->parts.push_back(std::move(part));
        } else if (shared->parts[existing->second].name != part.name) {
            facts.collisions.emplace_back(shared->parts[existing->second].name, std::move(part.name));
        }
    };

    const auto& entries = shared->archive.entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string& name = entries[i].name;
        if (name.ends_with('/')) {
            facts.directories.push_back(name);
            continue;
        }
        const std::string lowercased = opc::ascii_lowercase(name);
        if (lowercased.ends_with(".piece")) {
            if (const auto piece = parse_piece(lowercased)) {
                const std::string key = "/" + lowercased.substr(0, piece->folder_size);
                const auto [slot, added] = group_index.try_emplace(key, groups.size());
                if (added) groups.push_back({"/" + name.substr(0, piece->folder_size), {}});
                groups[slot->second].pieces.push_back({piece->number, piece->last, i});
                continue;
            }
        }
        if (lowercased == "[content_types].xml") {
            if (!shared->content_types_entry) {
                shared->content_types_entry = i;
                if (name != content_types_name) facts.content_types_case = name;
            }
            continue;
        }
        add_part(Part{"/" + name, {}, i});
    }

    std::sort(groups.begin(), groups.end(),
              [](const PieceGroup& a, const PieceGroup& b) { return a.name < b.name; });
    for (PieceGroup& group : groups) {
        if (!complete(group.pieces)) {
            facts.incomplete_pieces.push_back(group.name);
            continue;
        }
        Part part{group.name, {}, 0};
        for (const Piece& piece : group.pieces) part.pieces.push_back(piece.entry);
        add_part(std::move(part));
    }
    facts.content_types_missing = !shared->content_types_entry;
    return Package(std::move(shared));
}

const Archive& Package::archive() const { return shared_->archive; }

const std::vector<Part>& Package::parts() const { return shared_->parts; }

std::optional<std::size_t> Package::part_index(std::string_view name) const {
    const auto found = shared_->index.find(opc::ascii_lowercase(name));
    if (found == shared_->index.end()) return std::nullopt;
    return found->second;
}

Status Package::read_stored(const Part& part, Bytes& out) const {
    const auto& entries = shared_->archive.entries();
    if (part.pieces.empty()) return shared_->archive.read(entries[part.entry], out);
    out.clear();
    Bytes piece;
    for (std::size_t entry : part.pieces) {
        if (auto read = shared_->archive.read(entries[entry], piece); !read) return read;
        out.insert(out.end(), piece.begin(), piece.end());
    }
    return {};
}

Status Package::read_part_bytes(std::string_view name, Bytes& out) const {
    const auto index = part_index(name);
    if (!index) return fail(Error::missing_part(std::string(name)));
    return read_stored(shared_->parts[*index], out);
}

Status Package::read_part_into(std::string_view name, Bytes& out) const {
    if (auto read = read_part_bytes(name, out); !read) return read;
    transcode_utf16(out);
    return {};
}

Result<std::shared_ptr<const Bytes>> Package::read_part(std::string_view name) {
    const auto index = part_index(name);
    if (!index) return fail(Error::missing_part(std::string(name)));
    if (const auto cached = part_cache_.find(*index); cached != part_cache_.end()) return cached->second;
    auto bytes = std::make_shared<Bytes>();
    if (auto read = read_stored(shared_->parts[*index], *bytes); !read) return fail(read.error());
    transcode_utf16(*bytes);
    part_cache_.emplace(*index, bytes);
    return std::shared_ptr<const Bytes>(std::move(bytes));
}

Result<std::shared_ptr<const opc::Relationships>> Package::rels(std::string_view source) {
    std::string key = opc::ascii_lowercase(source);
    if (const auto cached = rels_cache_.find(key); cached != rels_cache_.end()) return cached->second;
    const std::string rels_name = opc::rels_part_name(source);
    std::shared_ptr<const opc::Relationships> parsed;
    if (!has(rels_name)) {
        auto empty = std::make_shared<opc::Relationships>();
        empty->source = source;
        parsed = std::move(empty);
    } else {
        auto bytes = read_part(rels_name);
        if (!bytes) return fail(bytes.error());
        auto relationships = opc::Relationships::parse(std::string(source), as_chars(**bytes));
        if (!relationships)
            return fail(Error::xml(rels_name, relationships.error().offset, relationships.error().message));
        parsed = std::make_shared<const opc::Relationships>(std::move(*relationships));
    }
    rels_cache_.emplace(std::move(key), parsed);
    return parsed;
}

Result<std::optional<std::string>> Package::resolve(std::string_view source, std::string_view id) {
    auto relationships = rels(source);
    if (!relationships) return fail(relationships.error());
    const opc::Relationship* relationship = (*relationships)->get(id);
    if (!relationship) return std::optional<std::string>();
    return (*relationships)->resolve(*relationship);
}

const ParsedContentTypes& Package::content_types() const {
    const Shared& shared = *shared_;
    std::call_once(shared.content_types_once, [&shared] {
        if (!shared.content_types_entry) return;
        Bytes bytes;
        const Entry& entry = shared.archive.entries()[*shared.content_types_entry];
        if (auto read = shared.archive.read(entry, bytes); !read) {
            shared.content_types.read_error = read.error().to_string();
            return;
        }
        // The stream may be UTF-16 like any XML in the package.
        transcode_utf16(bytes);
        auto parsed = opc::ContentTypes::parse(as_chars(bytes));
        if (parsed)
            shared.content_types.types = std::move(*parsed);
        else
            shared.content_types.parse_error = parsed.error();
    });
    return shared.content_types;
}

std::optional<std::string_view> Package::content_type_of(std::string_view name) const {
    return content_types().types.content_type_of(name);
}

const PackageDefects& Package::defects() const {
    const Shared& shared = *shared_;
    const ParsedContentTypes& types = content_types();
    std::call_once(shared.defects_once, [&shared, &types] {
        PackageDefects defects = shared.facts;
        for (const Part& part : shared.parts) {
            if (auto valid = opc::validate_part_name(part.name); !valid)
                defects.invalid_names.emplace_back(part.name, valid.error());
        }
        // Every (longer, shorter) pair where the shorter name and "/" begin
        // the longer one: each folder prefix of each name is looked up.
        std::vector<std::pair<std::string, std::size_t>> sorted;
        sorted.reserve(shared.parts.size());
        for (std::size_t i = 0; i < shared.parts.size(); ++i)
            sorted.emplace_back(opc::ascii_lowercase(shared.parts[i].name), i);
        std::sort(sorted.begin(), sorted.end());
        for (const auto& [lowercased, i] : sorted) {
            for (std::size_t slash = lowercased.find('/', 1); slash != std::string::npos;
                 slash = lowercased.find('/', slash + 1)) {
                const auto shorter = shared.index.find(std::string_view(lowercased).substr(0, slash));
                if (shorter != shared.index.end() && shorter->second != i)
                    defects.derivable.emplace_back(shared.parts[i].name, shared.parts[shorter->second].name);
            }
        }
        defects.content_types_error = types.parse_error;
        defects.content_types_unreadable = types.read_error;
        shared.defects = std::move(defects);
    });
    return shared.defects;
}

}  // namespace velmora::core
