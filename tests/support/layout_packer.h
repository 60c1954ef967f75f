// Raw rows in every layout from known samples, packed from the layouts' bit
// descriptions alone, so decoders are checked against bytes they did not make.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "raw/raw_layout.h"

// Bits of one sample of the layout.
int32_t packedSampleBits(RawLayout layout);

// The bytes of one row of samples (each below 2^bits), whole groups only. The
// last group is filled up with random samples and every bit no sample owns
// (qcom10's top 4, the bits above a plain word's sample) is random as well,
// since readers must ignore both. The vector holds exactly the row's bytes, no
// spare capacity, so a read past the row is one the sanitizers see.
std::vector<uint8_t> packLayoutRow(RawLayout layout, const std::vector<uint16_t>& samples, std::mt19937& noise);
