// The official V08 schema set (2024 edition) as normalised SHA-256 digests,
// and the normalisation: line ends to LF, trailing blanks of each line and
// trailing empty lines removed, every line (the last too) ending in LF. Shared by the schema-set
// check and its test.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <utility>

namespace morvik::inspection::checks {

inline constexpr std::array<std::pair<const char*, const char*>, 11> kOfficialSchemaSet{{
    {"cc08_V08.xsd", "fef15b152722397959f8cf4d818236dd8f32b1c6a8c4be8cf26751e9d3e5b8f7"},
    {"co08_V08.xsd", "5fe20d205f14c956312b7e72c4e743c2c90fd476ce64e31bda6ad0e22992223e"},
    {"coreschemas/datatypes-base_hcgv08.xsd",
     "cb2158d4e59550eb0f02ee1d2a8f12e9d1881fb2587d6cd53c33f204a645cbe7"},
    {"coreschemas/datatypes_hcgv08.xsd",
     "d843a37a7d81df17bad052e0439781ce25ec49b439369640bdf773237ea3b47b"},
    {"coreschemas/narrativeBlock_hcgv08.xsd",
     "d827061fe5aa40c763ccbf79c5179862e1962d913fb91531ac8c5bbeeabc027e"},
    {"coreschemas/voc_hcgv08.xsd",
     "10627c186d9a3a47ce792beb7039cb65b780d5ad01728e73fabac009a27c359a"},
    {"gc08_V08.xsd", "0a368dbd45308c0bcc70d884b1860f7b676f86ce3da6d1c00b4f6bd6be1508b2"},
    {"hc08_V08.xsd", "0e6ac3a8bd3f05dbc10590f4ce98687a9574f43b3501befb1644b99796b78d19"},
    {"hg08_V08.xsd", "654583e6154a8a5c25982dcb800c3f37280337ba400f59dd1e5a05d15c9c0599"},
    {"ix08_V08.xsd", "0cae59dbe6f6e5d9c1335fa8ff46bb8af58b89dc2947a35fdf8c1d4fec2d14fc"},
    {"su08_V08.xsd", "5be180da5aa998c6499f73f1ab01c2de52a88e1fa7feaf0bac2db206e1e03c4b"},
}};

// The SHA-256 of the text after normalising it.
std::string normalisedSha256(std::string_view text);

} // namespace morvik::inspection::checks
