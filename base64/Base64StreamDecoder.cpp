#include <waterline/base64/Base64StreamDecoder.h>

#include "DecodeMachine.h"

namespace waterline {

Base64StreamDecoder Base64StreamDecoder::standard()
{
    return Base64StreamDecoder(std::make_unique<DecodeMachine>(kStandardAlphabet, true));
}

Base64StreamDecoder Base64StreamDecoder::webSafe()
{
    return Base64StreamDecoder(std::make_unique<DecodeMachine>(kWebSafeAlphabet, false));
}

Base64StreamDecoder::Base64StreamDecoder(std::unique_ptr<DecodeMachine> machine)
    : m_machine(std::move(machine))
{
}
Base64StreamDecoder::Base64StreamDecoder(Base64StreamDecoder&&) noexcept = default;
Base64StreamDecoder& Base64StreamDecoder::operator=(Base64StreamDecoder&&) noexcept = default;
Base64StreamDecoder::~Base64StreamDecoder() = default;

bool Base64StreamDecoder::decode(std::span<const std::uint8_t> piece, std::vector<std::uint8_t>& out)
{
    if (m_machine->failed())
        return false;
    if (m_machine->ended() || piece.empty())
        return true;
    const std::size_t start = out.size();
    out.resize(start + DecodeMachine::roomFor(piece.size()));
    const std::size_t written = m_machine->run(piece.data(), piece.size(), out.data() + start, out.size() - start);
    out.resize(start + written);
    m_decodedLength += written;
    return !m_machine->failed();
}

bool Base64StreamDecoder::finish()
{
    return m_machine->finish();
}

bool Base64StreamDecoder::inputEnded() const
{
    return m_machine->ended();
}

} // namespace waterline
