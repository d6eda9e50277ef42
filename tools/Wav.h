#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace horavox::board {

inline constexpr int kWavSampleRate = 22050;
inline constexpr std::chrono::milliseconds kToneLength{500};

// The melody as the board sounds it: one sine tone of NoteFrequency per code, 500 ms each,
// with a few milliseconds of fade at both ends so that tones do not click; silence for a
// code without a pitch.
std::vector<std::int16_t> RenderMelody(const std::vector<std::int32_t>& codes,
                                       int sampleRate = kWavSampleRate);

// A mono 16-bit PCM WAV file. False if it could not be written.
bool WriteWav(const std::string& path, const std::vector<std::int16_t>& samples,
              int sampleRate = kWavSampleRate);

// Where melody `number` goes: the first to `path` itself, later ones with "-<number>"
// before the extension (chime.wav, chime-2.wav, ...).
std::string WavPathFor(const std::string& path, int number);

} // namespace horavox::board
