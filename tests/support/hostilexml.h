// Documents and schemas made to exhaust libxml2's memory or time, in any
// size: the budget's tests use small ones, bench/budget_bench.cpp the full
// sizes of the hostile set.
#pragma once

#include <cstddef>
#include <string>

namespace morvik::test {

// A schema for the documents below: doc holds content (nesting, with br
// children), e elements with an xs:ID attribute, and any attribute.
std::string hostileDocumentSchema();
// A small valid document of that schema.
std::string hostileSmallDocument();

// levels nested content elements, each with children br children before
// the next level opens.
std::string longChildLists(std::size_t levels, std::size_t children);
// count distinct attributes, each with a blank in front.
std::string attributeList(std::size_t count);
// One element with count distinct attributes.
std::string manyAttributes(std::size_t count);
// count elements, each with a distinct xs:ID value.
std::string manyIds(std::size_t count);

// Schemas whose compilation grows with the square of length: chains of
// substitution groups, group and attribute-group references, and type
// derivations.
std::string substitutionChain(std::size_t length);
std::string groupChain(std::size_t length);
std::string attributeGroupChain(std::size_t length);
std::string derivationChain(std::size_t length);
std::string restrictionChain(std::size_t length); // simple types
// References that branch and join again at every step: an attribute group
// referring to the one before it twice, a union of the one before it twice.
// libxml2 follows every path: time (or memory) doubles with every step.
std::string attributeGroupDiamond(std::size_t steps);
std::string unionDiamond(std::size_t steps);

} // namespace morvik::test
