#include "Synth.h"

#include <cstring>

namespace fw {

namespace {

bool Forbidden(int byte) {
    return byte == 0x05 || byte == 'P' || byte == 'Q';
}

// xorshift32: the same bytes on every machine for the same seed.
class Filler {
public:
    explicit Filler(uint32_t seed) : State(seed ? seed : 0x2545F491u) {}
    uint8_t Next() {
        for (;;) {
            State ^= State << 13;
            State ^= State >> 17;
            State ^= State << 5;
            const uint8_t b = static_cast<uint8_t>(State >> 24);
            if (!Forbidden(b)) return b;
        }
    }
private:
    uint32_t State;
};

}  // namespace

bool Synthesize(const SynthRequest &request, std::vector<std::vector<uint8_t>> &blocks,
                std::string &error) {
    if (request.Lengths.empty()) {
        error = "no block length given";
        return false;
    }
    if (request.TemplateOffset == 0 || request.TemplateOffset + TemplateSize > request.Lengths[0]) {
        error = "the template must lie inside block 0, after its first byte";
        return false;
    }
    Filler filler(request.Seed);
    blocks.assign(request.Lengths.size(), {});
    for (size_t k = 0; k < blocks.size(); ++k) {
        blocks[k].resize(request.Lengths[k]);
        blocks[k][0] = 0x02;
        for (size_t i = 1; i < blocks[k].size(); ++i) blocks[k][i] = filler.Next();
    }
    BuildTemplate(request.Id, blocks[0].data() + request.TemplateOffset);

    uint32_t sum = 0;
    for (const auto &b : blocks) {
        for (uint8_t byte : b) sum += byte;
    }
    // The difference, taken the short way round (at most 32768 either way),
    // is spread over filler bytes from the end of the last block backwards.
    int delta = static_cast<int>(static_cast<uint16_t>(request.Checksum - sum));
    if (delta > 32767) delta -= 65536;
    for (size_t k = blocks.size(); k-- > 0 && delta != 0;) {
        for (size_t i = blocks[k].size(); i-- > 1 && delta != 0;) {
            if (k == 0 && i >= request.TemplateOffset && i < request.TemplateOffset + TemplateSize) {
                continue;
            }
            const int old = blocks[k][i];
            int target = old + delta;
            if (target > 255) target = 255;
            if (target < 0) target = 0;
            while (target != old && Forbidden(target)) target += delta > 0 ? -1 : 1;
            blocks[k][i] = static_cast<uint8_t>(target);
            delta -= target - old;
        }
    }
    if (delta != 0) {
        error = "the blocks are too short to reach the checksum";
        return false;
    }
    return true;
}

}  // namespace fw
