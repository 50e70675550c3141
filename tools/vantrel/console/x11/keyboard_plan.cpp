#include "console/x11/keyboard_plan.h"

#include <algorithm>
#include <bit>

namespace vantrel::cli {
namespace {

int levelAt(const LayoutKey& key, std::uint8_t modifiers) {
  const auto chosen = static_cast<std::uint8_t>(modifiers & key.levelModifiers);
  for (const auto& l : key.levels) {
    if (l.modifiers == chosen) return l.level;
  }
  return 0;
}

struct Candidate {
  const LayoutKey* key = nullptr;
  std::uint8_t modifiers = 0;  // the state the key is pressed at
  int cost = 0;
  int level = 0;
};

// Whether the state `target` (within the key's level modifiers) can be reached from `state`.
bool reachable(const KeyboardLayout& layout, const KeyboardState& state, std::uint8_t add, std::uint8_t remove) {
  if ((remove & state.lockedModifiers) != 0) return false;
  for (unsigned m = 0; m < 8; ++m) {
    const auto& keys = layout.modifierKeys[m];
    if ((static_cast<unsigned>(add) >> m) & 1U) {
      if (std::none_of(keys.begin(), keys.end(), [&](std::uint8_t k) { return !state.down[k]; })) return false;
    }
    if ((static_cast<unsigned>(remove) >> m) & 1U) {
      if (std::none_of(keys.begin(), keys.end(), [&](std::uint8_t k) { return state.down[k]; })) return false;
    }
  }
  return true;
}

}  // namespace

bool isModifierKeysym(std::uint32_t keysym) {
  return (keysym >= 0xFFE1 && keysym <= 0xFFEE) ||  // Shift_L .. Hyper_R
         (keysym >= 0xFE01 && keysym <= 0xFE13) ||  // ISO level shifts, latches and locks
         keysym == 0xFF7E || keysym == 0xFF7F;      // Mode_switch, Num_Lock
}

std::optional<KeyPlan> planKeyPress(const KeyboardLayout& layout, std::uint32_t keysym, const KeyboardState& state) {
  const bool modifier = isModifierKeysym(keysym);
  std::optional<Candidate> best;
  for (const LayoutKey& key : layout.keys) {
    for (std::size_t level = 0; level < key.keysyms.size(); ++level) {
      if (key.keysyms[level] != keysym || keysym == 0) continue;
      if (modifier) {
        // A modifier key acts on press, whatever its level says: take it as it is.
        const Candidate c{&key, state.modifiers, 0, static_cast<int>(level)};
        if (!best || c.level < best->level) best = c;
        continue;
      }
      // Every combination of the key's level modifiers that gives this level.
      const std::uint8_t mask = key.levelModifiers;
      for (unsigned combo = 0; combo < 256; ++combo) {
        const auto within = static_cast<std::uint8_t>(combo);
        if ((within & ~mask) != 0) continue;
        const auto target = static_cast<std::uint8_t>((state.modifiers & ~mask) | within);
        if (levelAt(key, target) != static_cast<int>(level)) continue;
        const auto add = static_cast<std::uint8_t>(target & ~state.modifiers);
        const auto remove = static_cast<std::uint8_t>(state.modifiers & ~target);
        if (!reachable(layout, state, add, remove)) continue;
        const Candidate c{&key, target, std::popcount(static_cast<unsigned>(add | remove)), static_cast<int>(level)};
        if (!best || c.cost < best->cost || (c.cost == best->cost && c.level < best->level)) best = c;
      }
    }
  }
  if (!best) return std::nullopt;

  KeyPlan plan;
  plan.keycode = best->key->keycode;
  const auto add = static_cast<std::uint8_t>(best->modifiers & ~state.modifiers);
  const auto remove = static_cast<std::uint8_t>(state.modifiers & ~best->modifiers);
  for (unsigned m = 0; m < 8; ++m) {
    const auto& keys = layout.modifierKeys[m];
    if ((static_cast<unsigned>(add) >> m) & 1U) {
      const auto key = *std::find_if(keys.begin(), keys.end(), [&](std::uint8_t k) { return !state.down[k]; });
      plan.before.push_back({key, true});
      plan.after.insert(plan.after.begin(), {key, false});
    }
    if ((static_cast<unsigned>(remove) >> m) & 1U) {
      for (const std::uint8_t key : keys) {
        if (!state.down[key]) continue;
        plan.before.push_back({key, false});
        plan.after.insert(plan.after.begin(), {key, true});
      }
    }
  }
  return plan;
}

}  // namespace vantrel::cli
