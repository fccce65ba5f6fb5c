// The verifier's catalogue: 72 rules from ECMA-376, each with a stable code,
// the clause it enforces, what a conforming package satisfies, and the
// severity of its findings. Six tables, one per rule group, in run order.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace velmora::check {

enum class Severity : std::uint8_t { info = 0, warning = 1, error = 2 };

std::string_view text_of(Severity severity);

struct Rule {
    std::string_view code;
    std::string_view clause;
    std::string_view summary;
    Severity severity;
};


inline constexpr Rule ZIP001{"ZIP001", "Part 2 B.4 Table B.4",
    "Entries use only the stored (0) or deflate (8) compression methods", Severity::error};
inline constexpr Rule ZIP002{"ZIP002", "Part 2 B.4 Table B.5",
    "Entries are not encrypted (general purpose bit 0)", Severity::error};
inline constexpr Rule ZIP003{"ZIP003", "Part 2 B.2",
    "No bytes precede the first local file header", Severity::warning};
inline constexpr Rule ZIP004{"ZIP004", "Part 2 B.4 Table B.1",
    "The central directory and end record are present and complete", Severity::error};
inline constexpr Rule ZIP005{"ZIP005", "Part 2 6.2.2.3",
    "No two items share a name", Severity::error};
inline constexpr Rule ZIP006{"ZIP006", "Part 2 7.3.2",
    "The archive holds no directory entries; parts are the only items", Severity::warning};
inline constexpr Rule ZIP007{"ZIP007", "Part 2 B.2",
    "Each local file header agrees with its central directory header", Severity::error};
inline constexpr Rule ZIP008{"ZIP008", "Part 2 B.4 Table B.2",
    "Decompressed part data matches the recorded CRC-32", Severity::error};
inline constexpr Rule ZIP009{"ZIP009", "Part 2 B.4 Table B.3",
    "Version needed to extract is at most 4.5", Severity::warning};
inline constexpr Rule ZIP010{"ZIP010", "Part 2 7.3.3",
    "Item names are ASCII, with non-ASCII characters percent-encoded", Severity::warning};
inline constexpr Rule ZIP011{"ZIP011", "Part 2 B.4 Table B.5",
    "General purpose bit 11 (UTF-8 names) is not set", Severity::info};
inline constexpr Rule OPC001{"OPC001", "Part 2 6.2.2.2",
    "Part names follow the part name grammar", Severity::error};
inline constexpr Rule OPC002{"OPC002", "Part 2 6.2.2.3",
    "No two part names are equivalent under ASCII case folding", Severity::error};
inline constexpr Rule OPC003{"OPC003", "Part 2 6.2.2.3",
    "No part name is derivable from another part name", Severity::error};
inline constexpr Rule OPC004{"OPC004", "Part 2 7.3.7",
    "The content types stream [Content_Types].xml is present", Severity::error};
inline constexpr Rule OPC005{"OPC005", "Part 2 7.3.7",
    "The content types stream item is named exactly [Content_Types].xml", Severity::warning};
inline constexpr Rule OPC006{"OPC006", "Part 2 7.2.3.2.1",
    "The content types stream is well-formed XML", Severity::error};
inline constexpr Rule OPC007{"OPC007", "Part 2 7.2.5.2",
    "Interleaved items form a complete piece sequence from [0].piece to [n].last.piece", Severity::error};

inline constexpr std::array<const Rule*, 18> CONTAINER_RULES = {&ZIP001, &ZIP002, &ZIP003, &ZIP004, &ZIP005, &ZIP006, &ZIP007, &ZIP008, &ZIP009, &ZIP010, &ZIP011, &OPC001, &OPC002, &OPC003, &OPC004, &OPC005, &OPC006, &OPC007};

inline constexpr Rule CTY001{"CTY001", "Part 2 7.2.3.2.1",
    "Every part other than a Relationships part has a content type", Severity::error};
inline constexpr Rule CTY002{"CTY002", "Part 2 7.2.3.2.1",
    "At most one Default element per extension", Severity::error};
inline constexpr Rule CTY003{"CTY003", "Part 2 7.2.3.2.1",
    "At most one Override element per part name", Severity::error};
inline constexpr Rule CTY004{"CTY004", "Part 2 7.2.3.2.5",
    "Every Override names a part that exists", Severity::warning};
inline constexpr Rule CTY005{"CTY005", "Part 2 7.2.3.2.1",
    "The content types stream holds only Default and Override elements in the content types namespace", Severity::error};
inline constexpr Rule CTY006{"CTY006", "Part 2 6.2.3",
    "Content types are media types of the form type/subtype", Severity::error};
inline constexpr Rule CTY007{"CTY007", "Part 2 6.5.2.1",
    "Relationships parts have the relationships media type", Severity::error};
inline constexpr Rule CTY008{"CTY008", "Part 2 7.2.3.2.4",
    "Default extensions contain no dot or slash", Severity::error};

inline constexpr std::array<const Rule*, 8> CONTENT_TYPE_RULES = {&CTY001, &CTY002, &CTY003, &CTY004, &CTY005, &CTY006, &CTY007, &CTY008};

inline constexpr Rule REL001{"REL001", "Part 2 6.5.3.1",
    "Relationships parts are well-formed XML with a Relationships root", Severity::error};
inline constexpr Rule REL002{"REL002", "Part 2 6.5.3.4",
    "Relationship Ids are unique within their Relationships part", Severity::error};
inline constexpr Rule REL003{"REL003", "Part 2 C.5",
    "Every Relationship carries Id, Type and Target, and a valid TargetMode", Severity::error};
inline constexpr Rule REL004{"REL004", "Part 2 6.5.3.4",
    "Internal relationship targets resolve to a part in the package", Severity::error};
inline constexpr Rule REL005{"REL005", "Part 2 6.5.2.1",
    "No relationship points at a Relationships part", Severity::error};
inline constexpr Rule REL006{"REL006", "Part 2 6.5.3.4",
    "Relationship Ids are XML names (xsd:ID)", Severity::error};
inline constexpr Rule REL007{"REL007", "Part 2 6.5.2.3",
    "Every Relationships part belongs to a part that exists", Severity::warning};
inline constexpr Rule REL008{"REL008", "Part 2 6.5.1",
    "Every part is reachable from the package through relationships", Severity::warning};
inline constexpr Rule REL009{"REL009", "Part 2 6.5.3.4",
    "Internal targets are relative references, not absolute IRIs", Severity::error};
inline constexpr Rule REL010{"REL010", "Part 2 6.5.3.4",
    "Relationship types are non-empty IRIs", Severity::error};
inline constexpr Rule PKG001{"PKG001", "Part 1 13.3.6",
    "The package relationships name exactly one Presentation part", Severity::error};
inline constexpr Rule PKG002{"PKG002", "Part 1 13.3.6",
    "The Presentation part has a presentation main content type", Severity::error};
inline constexpr Rule PKG003{"PKG003", "Part 2 8.2",
    "At most one core properties relationship, from the package, to a part with the core properties media type", Severity::error};
inline constexpr Rule PKG004{"PKG004", "Part 1 15.2.16",
    "At most one thumbnail relationship from the package and per part", Severity::error};
inline constexpr Rule PKG005{"PKG005", "Part 1 15.2.12.3",
    "At most one extended properties and one custom properties relationship from the package", Severity::error};

inline constexpr std::array<const Rule*, 15> RELATIONSHIP_RULES = {&REL001, &REL002, &REL003, &REL004, &REL005, &REL006, &REL007, &REL008, &REL009, &REL010, &PKG001, &PKG002, &PKG003, &PKG004, &PKG005};

inline constexpr Rule XML001{"XML001", "Part 2 6.2.5",
    "XML parts are well-formed, namespace-well-formed and carry no DTD", Severity::error};
inline constexpr Rule XML002{"XML002", "Part 2 6.2.5",
    "XML declarations name UTF-8 or UTF-16 and nothing else", Severity::error};
inline constexpr Rule XML003{"XML003", "Part 4 7",
    "All parts use the same conformance class of namespaces, Strict or Transitional", Severity::warning};
inline constexpr Rule XML004{"XML004", "Part 2 6.2.5",
    "XML parts are UTF-8 or UTF-16; a UTF-16 part is noted and read after transcoding", Severity::info};

inline constexpr std::array<const Rule*, 4> XML_RULES = {&XML001, &XML002, &XML003, &XML004};

inline constexpr Rule PML001{"PML001", "Part 1 13.3.6",
    "The Presentation part's root element is p:presentation", Severity::error};
inline constexpr Rule PML002{"PML002", "Part 1 13.3.10",
    "The presentation lists at least one slide master", Severity::error};
inline constexpr Rule PML003{"PML003", "Part 1 13.3.7",
    "Exactly one Presentation Properties part is related from the Presentation part", Severity::error};
inline constexpr Rule PML004{"PML004", "Part 1 19.7.13",
    "sldId/@id lies in [256, 2147483647]", Severity::error};
inline constexpr Rule PML005{"PML005", "Part 1 19.2.1.33",
    "sldId/@id values are unique", Severity::error};
inline constexpr Rule PML006{"PML006", "Part 1 13.3.8",
    "Every sldId/@r:id resolves to a Slide part", Severity::error};
inline constexpr Rule PML007{"PML007", "Part 1 13.3.8",
    "Slide relationship targets have the slide content type", Severity::error};
inline constexpr Rule PML008{"PML008", "Part 1 19.7.16",
    "sldMasterId/@id and sldLayoutId/@id are at least 2147483648", Severity::error};
inline constexpr Rule PML009{"PML009", "Part 1 19.2.1.36",
    "Master and layout ids are unique throughout the presentation", Severity::error};
inline constexpr Rule PML010{"PML010", "Part 1 19.7.17",
    "sldSz/@cx and @cy lie in [914400, 51206400]", Severity::error};
inline constexpr Rule PML011{"PML011", "Part 1 19.7.18",
    "sldSz/@type agrees with the aspect ratio of cx and cy", Severity::warning};
inline constexpr Rule PML012{"PML012", "Part 1 19.2.1.22",
    "The presentation carries a notesSz element", Severity::error};
inline constexpr Rule PML013{"PML013", "Part 1 13.3.4",
    "A notes master relationship and notesMasterIdLst appear together", Severity::warning};
inline constexpr Rule PML014{"PML014", "Part 1 13.3",
    "Each PresentationML part's root element matches its content type", Severity::error};
inline constexpr Rule PML015{"PML015", "Part 1 13.3.9",
    "Every slide has a slideLayout relationship", Severity::error};
inline constexpr Rule PML016{"PML016", "Part 1 13.3.10",
    "Every slide layout has a slideMaster relationship", Severity::error};
inline constexpr Rule PML017{"PML017", "Part 1 13.3.9",
    "Every sldLayoutId/@r:id in a master resolves to a Slide Layout part", Severity::error};
inline constexpr Rule PML018{"PML018", "Part 1 13.3.4",
    "Every notes slide has a notesMaster relationship", Severity::error};
inline constexpr Rule PML019{"PML019", "Part 1 20.1.2.2.8",
    "cNvPr/@id values are unique within a part", Severity::error};
inline constexpr Rule PML020{"PML020", "Part 1 22.8.2.1",
    "Every r:id, r:embed, r:link and diagram reference names a relationship of its part", Severity::error};
inline constexpr Rule PML021{"PML021", "Part 1 13.3.6",
    "sldMasterId, notesMasterId and handoutMasterId relationships resolve to parts of the right content type", Severity::error};
inline constexpr Rule PML022{"PML022", "Part 1 13.3.8",
    "The presentation has at least one slide", Severity::info};
inline constexpr Rule PML023{"PML023", "Part 1 13.3",
    "Slide-family parts relate only to the part kinds the specification lists", Severity::warning};

inline constexpr std::array<const Rule*, 23> PRESENTATION_RULES = {&PML001, &PML002, &PML003, &PML004, &PML005, &PML006, &PML007, &PML008, &PML009, &PML010, &PML011, &PML012, &PML013, &PML014, &PML015, &PML016, &PML017, &PML018, &PML019, &PML020, &PML021, &PML022, &PML023};

inline constexpr Rule CPR001{"CPR001", "Part 2 8.3.3",
    "The core properties root is cp:coreProperties without attributes", Severity::error};
inline constexpr Rule CPR002{"CPR002", "Part 2 8.3.4.3",
    "dcterms:created and dcterms:modified carry xsi:type=\"dcterms:W3CDTF\"", Severity::error};
inline constexpr Rule CPR003{"CPR003", "Part 2 8.3.4.1",
    "Core property elements are not repeated", Severity::error};
inline constexpr Rule CPR004{"CPR004", "Part 2 C.3",
    "Only the fifteen core property elements appear, in their namespaces", Severity::warning};

inline constexpr std::array<const Rule*, 4> CORE_PROPERTY_RULES = {&CPR001, &CPR002, &CPR003, &CPR004};

// All 72 rules: the groups in run order, each in table order.
std::vector<const Rule*> all_rules();

}  // namespace velmora::check
