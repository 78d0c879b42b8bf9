// Used only by the XML layer's own files: the shape of a schema set, read
// from its files before libxml2 compiles them. libxml2's compiler walks
// chains of references between global definitions (substitution groups,
// model group and attribute group references, base, item and member types)
// once for every definition on them, in loops that allocate nothing: a chain
// of 20,000 costs minutes, and references that branch and join again cost
// time that doubles with every step. Neither can be stopped once the
// compilation runs, so a set whose shape is over the budget is refused
// before it starts.
#pragma once

#include "platform/xml/xmlbudget.h"
#include "platform/xml/xmlerror.h"

#include <cstdint>
#include <optional>
#include <string>

namespace morvik::platform {

// Reads the schema file at path and the files it includes, imports and
// redefines through the entity loader, under the rules of a compilation of
// it (files inside containment, when not empty; no DOCTYPE), and measures
// them. Files that cannot be read are passed over: the compilation reports
// them. Reading stops once the set has more global definitions than limits
// allows. A reference that leads back to a definition on its own chain (a
// circular definition, which the compilation reports) is not followed.
SchemaShape measureSchemaShape(const std::string& path, const std::string& containment,
                               const SchemaShapeLimits& limits);

// The refusal (OwnFacts::schemaTooComplex) of a shape over limits, or
// nullopt when it is within them.
std::optional<XmlErrorFacts> schemaShapeRefusal(const SchemaShape& shape,
                                                const SchemaShapeLimits& limits);

} // namespace morvik::platform
