// Stand-in block data for firmware images that are only used to build and
// test the program: deterministic filler that carries an inquiry template
// and adds up to a chosen checksum.
#pragma once
#include "SlotFile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fw {

struct SynthRequest {
    std::vector<uint32_t> Lengths;      // one per block, 1 .. 65535
    uint32_t Seed = 1;                  // filler generator seed
    uint16_t Checksum = 0;              // what the blocks must sum to
    Identity Id;                        // the template written into block 0
    unsigned long TemplateOffset = 0;
};

// Every block begins with 0x02 (as a scrambled block must). The filler never
// holds 0x05, 'P' or 'Q', so block 0 has no template signature, no marker
// text and no model name apart from the template itself.
bool Synthesize(const SynthRequest &request, std::vector<std::vector<uint8_t>> &blocks,
                std::string &error);

}  // namespace fw
