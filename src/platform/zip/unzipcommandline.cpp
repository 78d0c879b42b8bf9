// The unzip command line: its pieces, quoting, and the shape it must have.
#include "platform/zip/unzip.h"

#include <utility>

namespace morvik::platform {

namespace {

struct Piece {
    std::string text;
    bool quoted = false;
};

// Splits at blanks outside double quotes; inside quotes "" is one literal
// quote. Nothing when a quote is left open or the text holds a NUL.
std::optional<std::vector<Piece>> splitPieces(const std::string& text) {
    std::vector<Piece> pieces;
    Piece current;
    bool inPiece = false;
    bool inQuotes = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\0') {
            // A path cut at a NUL would name another file than the one typed.
            return std::nullopt;
        }
        if (c == '"') {
            if (inQuotes && i + 1 < text.size() && text[i + 1] == '"') {
                current.text += '"';
                ++i;
                continue;
            }
            inQuotes = !inQuotes;
            current.quoted = true;
            inPiece = true;
        } else if ((c == ' ' || c == '\t') && !inQuotes) {
            if (inPiece) {
                pieces.push_back(std::move(current));
                current = Piece();
                inPiece = false;
            }
        } else {
            current.text += c;
            inPiece = true;
        }
    }
    if (inQuotes) {
        return std::nullopt;
    }
    if (inPiece) {
        pieces.push_back(std::move(current));
    }
    return pieces;
}

bool isOption(const Piece& piece) {
    return !piece.quoted && piece.text.size() > 1 && piece.text.front() == '-';
}

} // namespace

std::string quotedUnzipPiece(const std::string& text) {
    std::string piece = "\"";
    for (const char c : text) {
        piece += c;
        if (c == '"') {
            piece += '"';
        }
    }
    piece += '"';
    return piece;
}

std::optional<UnzipCommand> parseUnzipCommandLine(const std::string& commandLine) {
    const auto pieces = splitPieces(commandLine);
    if (!pieces) {
        return std::nullopt;
    }
    std::size_t i = 0;
    for (; i < pieces->size() && isOption((*pieces)[i]); ++i) {
        const std::string& option = (*pieces)[i].text;
        // x extracts, o overwrites without asking, q is quiet: what this layer
        // always does. Other options are not understood.
        if (option.find_first_not_of("xoq", 1) != std::string::npos) {
            return std::nullopt;
        }
    }
    if (pieces->size() - i < 2) {
        return std::nullopt;
    }
    UnzipCommand command;
    command.archive = (*pieces)[i++].text;
    command.destination = (*pieces)[i++].text;
    if (command.archive.empty() || command.destination.empty() ||
        command.destination.back() != '/') {
        return std::nullopt;
    }
    while (command.destination.size() > 1 &&
           command.destination[command.destination.size() - 2] == '/') {
        command.destination.pop_back();
    }
    for (; i < pieces->size(); ++i) {
        if ((*pieces)[i].text.empty()) {
            return std::nullopt;
        }
        command.patterns.push_back((*pieces)[i].text);
    }
    return command;
}

} // namespace morvik::platform
