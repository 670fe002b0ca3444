#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace vq::test {

// Runs the rounds of a seeded, reproducible campaign; each round returns what
// went wrong, or empty text. VQ_CAMPAIGN_ROUNDS sets how many rounds run;
// VQ_CAMPAIGN_SEED replays the one round a failure named.
template <class Round>
void RunCampaign(unsigned firstSeed, unsigned rounds, Round&& round) {
  if (const char* replay = std::getenv("VQ_CAMPAIGN_SEED")) {
    const auto seed = static_cast<unsigned>(std::strtoul(replay, nullptr, 10));
    EXPECT_EQ(round(seed), "") << "seed " << seed;
    return;
  }
  if (const char* count = std::getenv("VQ_CAMPAIGN_ROUNDS")) rounds = static_cast<unsigned>(std::strtoul(count, nullptr, 10));
  for (unsigned seed = firstSeed; seed < firstSeed + rounds; ++seed) {
    const std::string fault = round(seed);
    if (!fault.empty()) {
      ADD_FAILURE() << fault << "; replay with VQ_CAMPAIGN_SEED=" << seed;
      return;
    }
  }
}

}  // namespace vq::test
