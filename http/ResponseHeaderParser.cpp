// The response header block, line by line. Lines end in LF, with or without a CR
// before it; a line starting with a space or tab continues the field above it.
#include <waterline/http/ResponseHeaderParser.h>

#include "ProtocolText.h"

#include <cctype>

namespace waterline {

namespace {

// A line without its LF and the CR before it, if any.
std::string_view withoutLineEnd(std::string_view line)
{
    line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

ResponseHeaderParser::State ResponseHeaderParser::feed(std::string_view bytes)
{
    while (m_state == State::Incomplete && !bytes.empty()) {
        auto end = bytes.find('\n');
        auto piece = bytes.substr(0, end == std::string_view::npos ? bytes.size() : end + 1);
        bytes.remove_prefix(piece.size());
        m_blockBytes += piece.size();
        if (m_blockBytes > kMaxBlockBytes) {
            m_state = State::Malformed;
            break;
        }
        if (piece.back() != '\n') {
            m_partialLine.append(piece);
            break;
        }
        if (m_partialLine.empty()) { // the usual case: a whole line, taken where it lies
            takeLine(withoutLineEnd(piece));
            continue;
        }
        m_partialLine.append(piece);
        takeLine(withoutLineEnd(m_partialLine));
        m_partialLine.clear();
    }
    return m_state;
}

void ResponseHeaderParser::takeLine(std::string_view line)
{
    if (!m_haveStatusLine)
        takeStatusLine(line);
    else if (line.empty())
        endBlock();
    else
        takeFieldLine(line);
}

// "HTTP/1.1 200 OK": a version, one space, three digits (100 or above), then an
// optional reason.
void ResponseHeaderParser::takeStatusLine(std::string_view line)
{
    auto space = line.find(' ');
    bool valid = line.starts_with("HTTP/") && space != std::string_view::npos && line.size() >= space + 4
        && isDigit(line[space + 1]) && line[space + 1] != '0' && isDigit(line[space + 2]) && isDigit(line[space + 3])
        && (line.size() == space + 4 || line[space + 4] == ' ');
    if (!valid) {
        m_state = State::Malformed;
        return;
    }
    m_block.statusLine = line;
    m_block.statusCode = (line[space + 1] - '0') * 100 + (line[space + 2] - '0') * 10 + (line[space + 3] - '0');
    m_haveStatusLine = true;
}

void ResponseHeaderParser::takeFieldLine(std::string_view line)
{
    if ((line.front() == ' ' || line.front() == '\t') && !m_block.fieldLines.empty()) {
        auto& last = m_block.fieldLines.back();
        last.second += ' ';
        last.second += trimmedBlanks(line);
        return;
    }
    auto colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return; // not a field; passed over as most clients do
    m_block.fieldLines.emplace_back(std::string(trimmedBlanks(line.substr(0, colon))),
                                    std::string(trimmedBlanks(line.substr(colon + 1))));
}

void ResponseHeaderParser::endBlock()
{
    if (m_block.statusCode >= 100 && m_block.statusCode < 200) {
        m_block = {}; // an interim response: the real one follows
        m_haveStatusLine = false;
        m_blockBytes = 0;
        return;
    }
    for (const auto& [name, value] : m_block.fieldLines)
        m_block.fields.append(name, value);
    m_state = State::Complete;
}

} // namespace waterline
