// The licence-plate settings writes that a fake camera received, in the order they came, each with its
// items in the order the request named them (so a test can check the key order on the wire).
//
//     FakeZodivadadCamera camera;
//     camera.setLprSupport(true);
//     createAgent(camera.url());
//     const std::vector<LprSettingsWrite> writes = lprSettingsWrites(camera);
//     ASSERT_EQ(writes.size(), 1U);
//     EXPECT_EQ(writes[0].items.front().first, "lpr_direction_enable");
//
// Every request with the write action counts, so a client that answers an authentication challenge
// shows its write twice (the unauthenticated try and the answer).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "fake_zodivadad_camera/fake_zodivadad_camera.h"

namespace vorn::testing::zodivadad {

struct LprSettingsWrite
{
    std::vector<std::pair<std::string, std::string>> items; //< Without the "action" item, in request order.
    bool actionFirst = false;                               //< Whether "action" was the request's first query item.
};

std::vector<LprSettingsWrite> lprSettingsWrites(const FakeZodivadadCamera& camera);

} // namespace vorn::testing::zodivadad
