// Japanese reasons for schema validation errors: values against their types
// and facets, content models, attributes, nil, xsi:type, identity constraints.
#include "report/reasonwords.h"

#include <libxml/xmlerror.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>
#include <string_view>

namespace morvik::report::reasons {

namespace {

// --- rules: schema validation -----------------------------------------------------------

// '<value>' is not a valid value of the (local) atomic|list|union type ('<type>').
Reason datatypeInvalid(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject) {
        return std::nullopt;
    }
    string_view rest = subject->rest;
    if (eat(rest, "The QName value '")) {
        const std::optional<string_view> value =
            takeUntilLast(rest, "' has no corresponding namespace declaration in scope");
        if (!value || !rest.empty()) {
            return std::nullopt;
        }
        const std::size_t colon = value->find(':');
        if (colon == string_view::npos) {
            return std::nullopt;
        }
        return ownerValue(*subject, *value) + "の接頭辞" + documentValue(value->substr(0, colon)) +
               "に対応する名前空間の宣言がありません。";
    }
    std::string what;
    std::optional<string_view> value;
    if (eat(rest, "The character content is not a valid value of the ")) {
        what = owner(*subject) + "の内容";
    } else if (eat(rest, "'")) {
        // The value is str1; a value of another message is read up to its end.
        constexpr string_view kEnd = "' is not a valid value of the ";
        if (!f.str1.empty() && rest.starts_with(f.str1 + std::string(kEnd))) {
            value = string_view(f.str1);
            rest.remove_prefix(f.str1.size() + kEnd.size());
        } else {
            value = takeUntilLast(rest, kEnd);
        }
        if (!value) {
            return std::nullopt;
        }
        what = ownerValue(*subject, *value);
    } else {
        return std::nullopt;
    }
    const bool local = eat(rest, "local ");
    enum class Variety { atomic, list, unionType } variety;
    if (eat(rest, "atomic type")) {
        variety = Variety::atomic;
    } else if (eat(rest, "list type")) {
        variety = Variety::list;
    } else if (eat(rest, "union type")) {
        variety = Variety::unionType;
    } else {
        return std::nullopt;
    }
    std::optional<std::string> type;
    if (!local) {
        if (!eat(rest, " '") || !eatEnd(rest, "'")) {
            return std::nullopt;
        }
        type = typeText(rest);
        if (!type) {
            return std::nullopt;
        }
        // A well-formed ID that is refused is one already used.
        if (rest == "xs:ID" && value && isNcName(*value)) {
            return "ID" + documentValue(*value) + "は文書の中ですでに使われています。" +
                   "同じIDは1回しか使えません（" + owner(*subject) + "）。";
        }
    } else if (!rest.empty()) {
        return std::nullopt;
    }
    const std::string target = type ? "型" + *type
                                    : (subject->attribute ? std::string("この属性に決められた型")
                                                          : std::string("この要素に決められた型"));
    switch (variety) {
    case Variety::atomic:
        return what + "は、" + target + "の値として正しくありません。";
    case Variety::list:
        return what + "は、" + target + "（空白で区切った値の並び）として正しくありません。";
    case Variety::unionType:
        return what + "は、" + target + "で使える値ではありません。";
    }
    return std::nullopt;
}

Reason lengthFacet(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject) {
        return std::nullopt;
    }
    string_view rest = subject->rest;
    if (!facetOf(rest)) {
        return std::nullopt;
    }
    std::string what;
    if (eat(rest, "The value has a length of '")) {
        what = owner(*subject) + "の値";
    } else if (eat(rest, "The value '")) {
        const std::optional<string_view> value = takeUntilLast(rest, "' has a length of '");
        if (!value) {
            return std::nullopt;
        }
        what = ownerValue(*subject, *value);
    } else {
        return std::nullopt;
    }
    const std::optional<string_view> actual = takeUntil(rest, "'; this ");
    if (!actual || !number(*actual) || !eatEnd(rest, "'")) {
        return std::nullopt;
    }
    string_view bound = rest;
    std::string expectation;
    if (f.code == XML_SCHEMAV_CVC_LENGTH_VALID &&
        eat(bound, "differs from the allowed length of '")) {
        expectation = "でなければなりません";
    } else if (f.code == XML_SCHEMAV_CVC_MINLENGTH_VALID &&
               eat(bound, "underruns the allowed minimum length of '")) {
        expectation = "以上でなければなりません";
    } else if (f.code == XML_SCHEMAV_CVC_MAXLENGTH_VALID &&
               eat(bound, "exceeds the allowed maximum length of '")) {
        expectation = "以下でなければなりません";
    } else {
        return std::nullopt;
    }
    if (!number(bound)) {
        return std::nullopt;
    }
    return what + "の長さは" + std::string(*actual) + "ですが、" + std::string(bound) +
           expectation + "。";
}

// The facets whose message is "The value '<str1>' <phrase>'<str2>'...".
Reason boundFacet(const XmlErrorFacts& f) {
    struct Shape {
        int code;
        string_view phrase;
        string_view problem;
        string_view before;
        string_view after;
    };
    static constexpr Shape kShapes[] = {
        {XML_SCHEMAV_CVC_MININCLUSIVE_VALID, "is less than the minimum value allowed ('",
         "は小さすぎます。", "", "以上でなければなりません。"},
        {XML_SCHEMAV_CVC_MAXINCLUSIVE_VALID, "is greater than the maximum value allowed ('",
         "は大きすぎます。", "", "以下でなければなりません。"},
        {XML_SCHEMAV_CVC_MINEXCLUSIVE_VALID, "must be greater than '", "は小さすぎます。", "",
         "より大きくなければなりません。"},
        {XML_SCHEMAV_CVC_MAXEXCLUSIVE_VALID, "must be less than '", "は大きすぎます。", "",
         "より小さくなければなりません。"},
        {XML_SCHEMAV_CVC_TOTALDIGITS_VALID, "has more digits than are allowed ('",
         "は桁数が多すぎます。", "数字は全体で", "桁までです。"},
        {XML_SCHEMAV_CVC_FRACTIONDIGITS_VALID, "has more fractional digits than are allowed ('",
         "は小数点以下の桁数が多すぎます。", "小数点以下は", "桁までです。"},
        {XML_SCHEMAV_CVC_PATTERN_VALID, "is not accepted by the pattern '",
         "は決められた書式に合っていません。", "書式のパターン: ", "。"},
    };
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject) {
        return std::nullopt;
    }
    string_view rest = subject->rest;
    if (!facetOf(rest)) {
        return std::nullopt;
    }
    for (const Shape& shape : kShapes) {
        if (shape.code != f.code) {
            continue;
        }
        const std::string expected =
            "The value '" + f.str1 + "' " + std::string(shape.phrase) + f.str2;
        if (f.str2.empty() || !rest.starts_with(expected)) {
            return std::nullopt;
        }
        const bool digits = f.code == XML_SCHEMAV_CVC_TOTALDIGITS_VALID ||
                            f.code == XML_SCHEMAV_CVC_FRACTIONDIGITS_VALID;
        const std::string bound = digits ? f.str2 : quoted(f.str2);
        return ownerValue(*subject, f.str1) + std::string(shape.problem) +
               std::string(shape.before) + bound + std::string(shape.after);
    }
    return std::nullopt;
}

Reason enumerationFacet(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject) {
        return std::nullopt;
    }
    string_view rest = subject->rest;
    if (!facetOf(rest) ||
        rest != "The value '" + f.str1 + "' is not an element of the set {" + f.str2 + "}") {
        return std::nullopt;
    }
    const std::optional<std::vector<string_view>> values = quotedList(f.str2);
    if (!values) {
        return std::nullopt;
    }
    return ownerValue(*subject, f.str1) +
           "は使える値ではありません。使える値: " + valueList(*values) + "。";
}

Reason elementContent(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || subject->attribute) {
        return std::nullopt;
    }
    string_view rest = subject->rest;
    // The sentence ends with the message when no list follows.
    const bool unexpected = eat(rest, "This element is not expected");
    if (!unexpected && !eat(rest, "Missing child element(s)")) {
        return std::nullopt;
    }
    if (!rest.empty() && !eat(rest, ".")) {
        return std::nullopt;
    }
    const std::optional<std::vector<Expected>> items = expectedList(rest);
    if (!items) {
        return std::nullopt;
    }
    const std::string element = quoted(subject->element.local);
    if (unexpected) {
        const ExpectedText text = expectedText(*items, &subject->element);
        std::string result = "要素" + element +
                             (text.elementNamespaceNeeded ? namespaceNote(subject->element) : "") +
                             "はこの位置には書けません。";
        if (items->size() == 1) {
            result += "ここに書けるのは" + text.prefix + text.list + "です。";
        } else if (items->size() > 1) {
            result += "ここに書けるのは" + text.prefix + "次のいずれかです: " + text.list + "。";
        }
        return result;
    }
    const ExpectedText text = expectedText(*items, nullptr);
    std::string result = "要素" + element + "に必要な子要素がありません。";
    if (items->size() == 1) {
        result += text.list + "が必要です。";
    } else if (items->size() > 1) {
        result += "次のいずれかが必要です: " + text.list + "。";
    }
    return result;
}

Reason emptyContent(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject) {
        return std::nullopt;
    }
    const std::string head = owner(*subject) + "は内容を持たない要素のため、";
    if (subject->rest == "Character content is not allowed, because the content type is empty") {
        return head + "文字は書けません。";
    }
    if (subject->rest == "Element content is not allowed, because the content type is empty") {
        return head + "子要素は書けません。";
    }
    return std::nullopt;
}

Reason simpleContent(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || (subject->rest != "Element content is not allowed, because the content type "
                                      "is a simple type definition" &&
                     subject->rest !=
                         "Element content is not allowed, because the type definition is simple")) {
        return std::nullopt;
    }
    return owner(*subject) + "には値（文字）だけが書けます。子要素は書けません。";
}

Reason elementOnly(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || !subject->rest.starts_with("Character content other than whitespace is not "
                                               "allowed")) {
        return std::nullopt;
    }
    return owner(*subject) + "には子要素だけが書けます。空白以外の文字は書けません。";
}

// "The attribute '<name>' is not allowed", for an element with attributes
// (complexType) or without (simple type).
Reason attributeNotAllowed(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || !subject->attribute) {
        return std::nullopt;
    }
    string_view rest = subject->rest;
    if (!eat(rest, "The attribute '") || !eatEnd(rest, "' is not allowed")) {
        return std::nullopt;
    }
    const std::string result = "要素" + quoted(subject->element.local) + "には属性" +
                               attributeText(*subject->attribute) + "は書けません。";
    if (f.code == XML_SCHEMAV_CVC_TYPE_3_1_1) {
        return result + "この要素は値だけを持ち、属性を持てません。";
    }
    return result;
}

Reason attributeMissing(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject) {
        return std::nullopt;
    }
    string_view rest = subject->rest;
    if (!eat(rest, "The attribute '") || !eatEnd(rest, "' is required but missing")) {
        return std::nullopt;
    }
    const std::optional<Name> attribute = nameOf(rest);
    if (!attribute) {
        return std::nullopt;
    }
    return owner(*subject) + "に必須の属性" + attributeText(*attribute) + "がありません。";
}

// "The value '<str1>' does not match the fixed value constraint '<str2>'" and
// the element variants ("The actual value", "The initial value").
Reason fixedValue(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject) {
        return std::nullopt;
    }
    const std::string tail =
        "value '" + f.str1 + "' does not match the fixed value constraint '" + f.str2 + "'";
    string_view rest = subject->rest;
    if (!eat(rest, "The ")) {
        return std::nullopt;
    }
    if (!eat(rest, "actual ")) {
        eat(rest, "initial ");
    }
    if (rest != tail) {
        return std::nullopt;
    }
    return ownerValue(*subject, f.str1) + "は、決められた値" + quoted(f.str2) + "と違います。";
}

Reason undeclaredElement(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || subject->attribute) {
        return std::nullopt;
    }
    const std::string element = quoted(subject->element.local) + namespaceNote(subject->element);
    if (subject->rest == "No matching global declaration available for the validation root") {
        return "ルート要素" + element + "はスキーマで宣言されていません。";
    }
    if (subject->rest ==
        "No matching global element declaration available, but demanded by the strict wildcard") {
        return "要素" + element +
               "はスキーマで宣言されていません。この位置には宣言された要素だけが書けます。";
    }
    if (subject->rest == "No matching declaration available") {
        return "要素" + element + "はスキーマで宣言されていません。";
    }
    return std::nullopt;
}

Reason abstractElement(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || subject->rest != "The element declaration is abstract") {
        return std::nullopt;
    }
    return owner(*subject) + "は抽象要素として宣言されているため、文書には書けません。";
}

Reason notNillable(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || subject->rest != "The element is not 'nillable'") {
        return std::nullopt;
    }
    return owner(*subject) + "には「xsi:nil」を指定できません。";
}

Reason nilledWithContent(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject ||
        !subject->rest.starts_with("Neither character nor element content is allowed")) {
        return std::nullopt;
    }
    return owner(*subject) +
           "には「xsi:nil=\"true\"」が指定されているため、文字も子要素も書けません。";
}

Reason nilledWithFixedValue(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || !subject->rest.starts_with("The element cannot be 'nilled'")) {
        return std::nullopt;
    }
    return owner(*subject) + "には決められた値があるため、「xsi:nil=\"true\"」は指定できません。";
}

Reason xsiTypeUnknown(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject) {
        return std::nullopt;
    }
    string_view rest = subject->rest;
    if (!eat(rest, "The QName value '") ||
        !eatEnd(rest, "' of the xsi:type attribute does not resolve to a type definition")) {
        return std::nullopt;
    }
    const std::optional<std::string> type = xsiTypeName(rest);
    if (!type) {
        return std::nullopt;
    }
    return "要素" + quoted(subject->element.local) + "の「xsi:type」に指定された型" + *type +
           "はスキーマにありません。";
}

Reason xsiTypeNotDerived(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject) {
        return std::nullopt;
    }
    string_view rest = subject->rest;
    if (!eat(rest, "The type definition '")) {
        return std::nullopt;
    }
    const std::optional<string_view> typeName = takeUntil(rest, "', specified by xsi:type, is ");
    if (!typeName || !rest.starts_with("blocked or not validly derived")) {
        return std::nullopt;
    }
    const std::optional<std::string> type = xsiTypeName(*typeName);
    if (!type) {
        return std::nullopt;
    }
    return "要素" + quoted(subject->element.local) + "の「xsi:type」に指定された型" + *type +
           "は、この要素には使えません（要素の型から派生した型ではないか、使うことが禁止されて"
           "います）。";
}

Reason abstractType(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || subject->rest != "The type definition is abstract") {
        return std::nullopt;
    }
    return owner(*subject) + "の型は抽象型のため、そのままでは使えません。「xsi:"
                             "type」で具体的な型を指定してください。";
}

Reason strictAttributeWildcard(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject || !subject->attribute ||
        subject->rest != "No matching global attribute declaration available, but demanded by "
                         "the strict wildcard") {
        return std::nullopt;
    }
    return owner(*subject) + "はスキーマで宣言されていません。";
}

Reason identityConstraint(const XmlErrorFacts& f) {
    const std::optional<Subject> subject = subjectOf(f.message);
    if (!subject) {
        return std::nullopt;
    }
    string_view rest = subject->rest;
    const std::string element = owner(*subject);
    if (eat(rest, "Duplicate key-sequence ")) {
        const std::optional<string_view> sequence = takeUntil(rest, " in ");
        const std::optional<std::string> values = sequence ? keySequence(*sequence) : std::nullopt;
        const std::optional<std::string> constraint = constraintText(rest);
        if (!values || !constraint) {
            return std::nullopt;
        }
        return element + "の値" + *values + "が重複しています（" + *constraint +
               "では同じ値を2回使えません）。";
    }
    if (eat(rest, "Not all fields of ") && eatEnd(rest, " evaluate to a node")) {
        const std::optional<std::string> constraint = constraintText(rest);
        if (!constraint) {
            return std::nullopt;
        }
        return element + "に" + *constraint + "の値となる項目がありません（" + *constraint +
               "の項目はすべて必要です）。";
    }
    if (eat(rest, "No match found for key-sequence ")) {
        const std::optional<string_view> sequence = takeUntil(rest, " of keyref '");
        const std::optional<std::string> values = sequence ? keySequence(*sequence) : std::nullopt;
        if (!values || !eatEnd(rest, "'")) {
            return std::nullopt;
        }
        const std::optional<Name> name = nameOf(rest);
        if (!name) {
            return std::nullopt;
        }
        return element + "の値" + *values + "に対応するキーがありません（参照の制約" +
               quoted(name->local) + "）。";
    }
    if (eat(rest, "The XPath '")) {
        const std::optional<string_view> path = takeUntil(rest, "' of a field of ");
        if (!path) {
            return std::nullopt;
        }
        const bool several = eatEnd(rest, " evaluates to a node-set with more than one member");
        if (!several && !eatEnd(rest, " does evaluate to a node of non-simple type")) {
            return std::nullopt;
        }
        const std::optional<std::string> constraint = constraintText(rest);
        if (!constraint) {
            return std::nullopt;
        }
        const std::string field = *constraint + "の項目" + quoted(*path);
        if (several) {
            return field + "に当たる" + element + "が2つ以上あります。";
        }
        return field + "が指す" + element + "は、値を持たない要素です。";
    }
    return std::nullopt;
}

constexpr ReasonRule kSchemaRules[] = {
    {XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_1, datatypeInvalid},
    {XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_2, datatypeInvalid},
    {XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_3, datatypeInvalid},
    {XML_SCHEMAV_CVC_TYPE_3_1_1, attributeNotAllowed},
    {XML_SCHEMAV_CVC_TYPE_3_1_2, simpleContent},
    {XML_SCHEMAV_CVC_LENGTH_VALID, lengthFacet},
    {XML_SCHEMAV_CVC_MINLENGTH_VALID, lengthFacet},
    {XML_SCHEMAV_CVC_MAXLENGTH_VALID, lengthFacet},
    {XML_SCHEMAV_CVC_MININCLUSIVE_VALID, boundFacet},
    {XML_SCHEMAV_CVC_MAXINCLUSIVE_VALID, boundFacet},
    {XML_SCHEMAV_CVC_MINEXCLUSIVE_VALID, boundFacet},
    {XML_SCHEMAV_CVC_MAXEXCLUSIVE_VALID, boundFacet},
    {XML_SCHEMAV_CVC_TOTALDIGITS_VALID, boundFacet},
    {XML_SCHEMAV_CVC_FRACTIONDIGITS_VALID, boundFacet},
    {XML_SCHEMAV_CVC_PATTERN_VALID, boundFacet},
    {XML_SCHEMAV_CVC_ENUMERATION_VALID, enumerationFacet},
    {XML_SCHEMAV_CVC_COMPLEX_TYPE_2_1, emptyContent},
    {XML_SCHEMAV_CVC_COMPLEX_TYPE_2_2, simpleContent},
    {XML_SCHEMAV_CVC_COMPLEX_TYPE_2_3, elementOnly},
    {XML_SCHEMAV_CVC_ELT_1, undeclaredElement},
    {XML_SCHEMAV_CVC_ELT_2, abstractElement},
    {XML_SCHEMAV_CVC_ELT_3_1, notNillable},
    {XML_SCHEMAV_CVC_ELT_3_2_1, nilledWithContent},
    {XML_SCHEMAV_CVC_ELT_3_2_2, nilledWithFixedValue},
    {XML_SCHEMAV_CVC_ELT_4_2, xsiTypeUnknown},
    {XML_SCHEMAV_CVC_ELT_4_3, xsiTypeNotDerived},
    {XML_SCHEMAV_CVC_ELT_5_2_2_2_1, fixedValue},
    {XML_SCHEMAV_CVC_ELT_5_2_2_2_2, fixedValue},
    {XML_SCHEMAV_CVC_COMPLEX_TYPE_3_2_1, attributeNotAllowed},
    {XML_SCHEMAV_CVC_COMPLEX_TYPE_3_2_2, attributeNotAllowed},
    {XML_SCHEMAV_CVC_COMPLEX_TYPE_4, attributeMissing},
    {XML_SCHEMAV_ELEMENT_CONTENT, elementContent},
    {XML_SCHEMAV_CVC_AU, fixedValue},
    {XML_SCHEMAV_CVC_TYPE_2, abstractType},
    {XML_SCHEMAV_CVC_IDC, identityConstraint},
    {XML_SCHEMAV_CVC_WILDCARD, strictAttributeWildcard},
};

static_assert(std::is_sorted(std::begin(kSchemaRules), std::end(kSchemaRules), ruleBefore),
              "the rules are looked up by binary search");
} // namespace

std::span<const ReasonRule> schemaRules() {
    return kSchemaRules;
}

} // namespace morvik::report::reasons
