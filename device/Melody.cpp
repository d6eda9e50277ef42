#include "Melody.h"

namespace horavox {

std::int32_t NoteCode(std::string_view token) {
    if (token.empty())
        return 1;
    const std::int32_t degree = TextToInt(token.substr(token.size() - 1));
    switch (token.front()) {
    case 'H': return degree + 14;
    case 'M': return degree + 7;
    case 'L': return degree;
    default: return 1;
    }
}

namespace {

// Walks the melody entry by entry; `visit` gets each code in order.
template <typename Visit> void ForEachCode(std::string_view melody, Visit&& visit) {
    std::string_view rest = melody;
    while (!rest.empty()) {
        visit(NoteCode(rest.substr(0, 2)));
        rest = rest.size() > 3 ? rest.substr(3) : std::string_view{};
    }
}

} // namespace

std::vector<std::int32_t> MelodyCodes(std::string_view melody) {
    std::vector<std::int32_t> codes;
    codes.reserve(melody.size() / 3 + 1);
    ForEachCode(melody, [&](std::int32_t code) { codes.push_back(code); });
    return codes;
}

std::array<char, 4> EncodeNoteCode(std::int32_t code) {
    const auto u = static_cast<std::uint32_t>(code);
    return {static_cast<char>(u & 0xFFu), static_cast<char>((u >> 8) & 0xFFu),
            static_cast<char>((u >> 16) & 0xFFu), static_cast<char>((u >> 24) & 0xFFu)};
}

void PlayMelodyText(std::string_view melody, const std::function<bool(std::string_view)>& send,
                    const std::function<void(std::chrono::milliseconds)>& pause) {
    auto sendCode = [&](std::int32_t code) {
        const auto bytes = EncodeNoteCode(code);
        send(std::string_view(bytes.data(), bytes.size()));
    };
    ForEachCode(melody, [&](std::int32_t code) {
        sendCode(code);
        pause(kNotePause);
    });
    sendCode(0);
}

} // namespace horavox
