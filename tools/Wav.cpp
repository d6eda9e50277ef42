#include "Wav.h"

#include "NoteLog.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>

namespace horavox::board {

namespace {

constexpr double kAmplitude = 0.5 * 32767;
constexpr double kFadeSeconds = 0.005;

void PutLE(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFFu));
}

} // namespace

std::vector<std::int16_t> RenderMelody(const std::vector<std::int32_t>& codes, int sampleRate) {
    const auto toneSamples =
        static_cast<std::size_t>(sampleRate * std::chrono::duration<double>(kToneLength).count());
    const double fadeSamples = kFadeSeconds * sampleRate;
    std::vector<std::int16_t> samples;
    samples.reserve(toneSamples * codes.size());
    for (std::int32_t code : codes) {
        const double frequency = NoteFrequency(code);
        for (std::size_t i = 0; i < toneSamples; ++i) {
            if (frequency <= 0.0) {
                samples.push_back(0);
                continue;
            }
            const double t = static_cast<double>(i) / sampleRate;
            const double edge = static_cast<double>(std::min(i, toneSamples - 1 - i));
            const double gain = std::min(1.0, edge / fadeSamples);
            samples.push_back(static_cast<std::int16_t>(
                std::lround(kAmplitude * gain * std::sin(2 * std::numbers::pi * frequency * t))));
        }
    }
    return samples;
}

bool WriteWav(const std::string& path, const std::vector<std::int16_t>& samples, int sampleRate) {
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    std::string out;
    out.reserve(44 + dataBytes);
    out += "RIFF";
    PutLE(out, 36 + dataBytes, 4);
    out += "WAVEfmt ";
    PutLE(out, 16, 4);                                         // fmt chunk size
    PutLE(out, 1, 2);                                          // PCM
    PutLE(out, 1, 2);                                          // mono
    PutLE(out, static_cast<std::uint32_t>(sampleRate), 4);     // samples per second
    PutLE(out, static_cast<std::uint32_t>(sampleRate) * 2, 4); // bytes per second
    PutLE(out, 2, 2);                                          // bytes per frame
    PutLE(out, 16, 2);                                         // bits per sample
    out += "data";
    PutLE(out, dataBytes, 4);
    for (std::int16_t s : samples)
        PutLE(out, static_cast<std::uint16_t>(s), 2);

    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(out.data(), static_cast<std::streamsize>(out.size()));
    file.close();
    return !file.fail();
}

std::string WavPathFor(const std::string& path, int number) {
    if (number <= 1)
        return path;
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    const bool hasExtension =
        dot != std::string::npos && dot != 0 && (slash == std::string::npos || dot > slash + 1);
    const std::size_t cut = hasExtension ? dot : path.size();
    return path.substr(0, cut) + "-" + std::to_string(number) + path.substr(cut);
}

} // namespace horavox::board
