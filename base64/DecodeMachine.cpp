#include "DecodeMachine.h"

#include "BlockCodec.h"

namespace waterline {

std::size_t DecodeMachine::run(const std::uint8_t* src, std::size_t length, std::uint8_t* dest, std::size_t room)
{
    const std::uint8_t* p = src;
    const std::uint8_t* end = src + length;
    std::size_t written = 0;
    while (p < end) {
        switch (m_phase) {
        case Phase::Data:
            p = runData(p, end, dest, room, written);
            break;
        case Phase::SecondPad:
            p = runSecondPad(p, end);
            break;
        case Phase::AfterPad:
            p = runAfterPad(p, end);
            break;
        case Phase::Ended:
        case Phase::Failed:
            return written;
        }
    }
    return written;
}

// Reads characters until the text leaves the data phase or the piece ends.
const std::uint8_t* DecodeMachine::runData(const std::uint8_t* p, const std::uint8_t* end, std::uint8_t* dest,
                                           std::size_t room, std::size_t& written)
{
    const std::uint8_t* table = m_alphabet.decode.data();
    const BlockCodec& blocks = blockCodecFor(activeSimdLevel());
    // Where to try whole blocks again after a block held another byte: past that byte.
    const std::uint8_t* blocksFrom = p;
    while (p < end) {
        if (m_group == 0 && p >= blocksFrom) {
            const BlockDecodeResult done
                = blocks.decode(p, static_cast<std::size_t>(end - p), dest + written, room - written, m_alphabet);
            p += done.consumed;
            written += done.written;
            blocksFrom = done.stoppedAtBadByte ? p + done.badOffset + 1 : end;
            if (p == end)
                break;
        }
        const std::uint8_t byte = *p++;
        const std::uint8_t value = table[byte];
        if (value == kInvalid) {
            if (byte == 0) {
                endData();
                return p;
            }
            if (kWhitespace[byte])
                continue;
            if (byte == kPad) {
                takePad();
                return p;
            }
            m_phase = Phase::Failed;
            return p;
        }
        switch (m_group) {
        case 0:
            m_pending = static_cast<std::uint8_t>(value << 2);
            break;
        case 1:
            dest[written++] = static_cast<std::uint8_t>(m_pending | value >> 4);
            m_pending = static_cast<std::uint8_t>((value & 0x0F) << 4);
            break;
        case 2:
            dest[written++] = static_cast<std::uint8_t>(m_pending | value >> 2);
            m_pending = static_cast<std::uint8_t>((value & 0x03) << 6);
            break;
        case 3:
            dest[written++] = static_cast<std::uint8_t>(m_pending | value);
            m_pending = 0;
            break;
        }
        m_group = (m_group + 1) & 3;
    }
    return p;
}

// A '=' in the first or second position of a group is misplaced; after two
// characters a second '=' must follow, after three the text is complete.
void DecodeMachine::takePad()
{
    if (m_group < 2)
        m_phase = Phase::Failed;
    else
        m_phase = m_group == 2 ? Phase::SecondPad : Phase::AfterPad;
}

const std::uint8_t* DecodeMachine::runSecondPad(const std::uint8_t* p, const std::uint8_t* end)
{
    while (p < end) {
        const std::uint8_t byte = *p++;
        if (kWhitespace[byte])
            continue;
        m_phase = byte == kPad ? Phase::AfterPad : Phase::Failed;
        return p;
    }
    return p;
}

const std::uint8_t* DecodeMachine::runAfterPad(const std::uint8_t* p, const std::uint8_t* end)
{
    while (p < end) {
        const std::uint8_t byte = *p++;
        if (kWhitespace[byte])
            continue;
        if (byte == 0)
            endAfterPad();
        else
            m_phase = Phase::Failed;
        return p;
    }
    return p;
}

// The text ended without padding. With padding required only a whole group may end
// it; otherwise a single character, which cannot make a byte, may not. The last
// character must not carry set bits beyond the decoded bytes.
void DecodeMachine::endData()
{
    const bool groupAllowed = m_requirePadding ? m_group == 0 : m_group != 1;
    m_phase = groupAllowed && m_pending == 0 ? Phase::Ended : Phase::Failed;
}

void DecodeMachine::endAfterPad()
{
    m_phase = m_pending == 0 ? Phase::Ended : Phase::Failed;
}

bool DecodeMachine::finish()
{
    switch (m_phase) {
    case Phase::Data:
        endData();
        break;
    case Phase::SecondPad:
        m_phase = Phase::Failed;
        break;
    case Phase::AfterPad:
        endAfterPad();
        break;
    case Phase::Ended:
    case Phase::Failed:
        break;
    }
    return m_phase == Phase::Ended;
}

} // namespace waterline
