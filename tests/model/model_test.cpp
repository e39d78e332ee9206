// Randomized model checking of the local DVP table: RapidCheck generates
// sequences of agent commands (commits new, repeated and superseding; removals
// and remove-all; bulk removal of every handle's or every unassigned
// handle's key; references dependents take and drop; next hops created,
// made ready, failed and re-indexed; chip confirmations of one key or all;
// init completion, purges, in-process restarts with replay, and teardowns of
// the table on the attached chip), in one sequence in four with hardware
// indices published in handles, runs them on
// the dvp-agent in-process, and compares the table and the chip with the
// reference model (Model.h) after every command; see Harness.h for the
// invariants (the audit of the chip against the table among them). After
// the generated commands the replay is ended, the stale entries purged and
// every write confirmed, and the outcome checked.
//
// A failing sequence shrinks to a minimal one and prints as a dvp-agent
// scenario (also written to a file named in the failure).
//
// Regular run: 2 x 1,000 sequences of up to 60 commands, seed fixed. Long mode:
// VELAR_MODEL_SEQUENCES=N (and VELAR_MODEL_STEPS=M for the longest sequence,
// VELAR_MODEL_SEED=S; RC_PARAMS=seed=S works as well).
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>
#include <rapidcheck/state.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "tests/model/Harness.h"
#include "tests/model/Model.h"
#include "tools/dvp-agent/Scenario.h"

namespace VelarModel {
namespace {

using DvpAgent::Action;
namespace Cmd = DvpAgent::Cmd;

// Four keys and the exhausted index, three next hops: small enough that
// commands meet on the same keys and next hops all the time.
const std::vector<Key> kKeys{0, 1, 2, 3, kNone};
const std::vector<std::string> kNextHops{"A", "B", "C"};
constexpr std::uint32_t kChipEntries = 8;

struct Step final : rc::state::Command<Model, Harness> {
  explicit Step(Action a) : action(std::move(a)) {}
  void checkPreconditions(const Model& model) const override { RC_PRE(model.allows(action)); }
  void apply(Model& model) const override { model.apply(action); }
  void show(std::ostream& os) const override { os << dvpLine(action); }
  Action action;
};
using StepPtr = std::shared_ptr<const rc::state::Command<Model, Harness>>;

// --- generation ------------------------------------------------------------------

rc::Gen<Key> genKey() { return rc::gen::weightedElement<Key>({{4, 0}, {4, 1}, {4, 2}, {4, 3}, {1, kNone}}); }

rc::Gen<Action> genNextHop() {
  return rc::gen::exec([]() -> Action {
    Cmd::NextHop c;
    c.name = *rc::gen::elementOf(kNextHops);
    switch (*rc::gen::weightedElement<int>({{4, 0}, {3, 1}, {3, 2}, {3, 3}, {1, 4}})) {
      case 0:  // ready
        c.index = *rc::gen::element<std::uint32_t>(70, 71);
        c.state = State::success;
        break;
      case 1:
        c.state = State::failedNeededEntry;
        break;
      case 2:  // a new index (or none)
        c.index = *rc::gen::element<std::uint32_t>(70, 71, 72, kNone);
        break;
      case 3:
        c.state = *rc::gen::element(State::unresolved, State::inProgress, State::indexReconciled, State::state3,
                                    State::success, State::failedNeededEntry);
        break;
      default:  // only made known
        break;
    }
    return c;
  });
}

rc::Gen<Action> genCommit(std::vector<std::string> defined) {
  return rc::gen::exec([defined]() -> Action {
    Cmd::Commit c;
    c.key = *genKey();
    const auto pick = *rc::gen::inRange<std::size_t>(0, defined.size() + 1);
    if (pick < defined.size()) c.nextHopName = defined[pick];
    c.group = static_cast<std::uint8_t>(*rc::gen::inRange(0, 3));
    c.nextHop = *rc::gen::weightedElement<std::uint32_t>({{5, 0}, {1, 5}});
    return c;
  });
}

// One command that the model allows now, weighted towards what makes keys
// meet: commits, next-hop changes, confirmations; restarts (and with them
// the replay, init completion and purge) as often as `restarts` says.
rc::Gen<StepPtr> genStep(const Model& model, std::size_t restarts) {
  std::vector<std::string> defined;
  for (const auto& [name, nh] : model.nextHops()) defined.push_back(name);
  std::vector<Key> held, answering;
  for (Key k : model.keys()) {
    if (!model.key(k).holdStack.empty()) held.push_back(k);
    if (model.key(k).chip.responses != 0) answering.push_back(k);
  }
  auto key = [](auto make) { return rc::gen::map(genKey(), [make](Key k) -> Action { return make(k); }); };
  auto from = [](const std::vector<Key>& keys, auto make) {
    return rc::gen::map(rc::gen::elementOf(keys), [make](Key k) -> Action { return make(k); });
  };
  std::vector<std::pair<std::size_t, rc::Gen<Action>>> options{
      {26, genCommit(defined)},
      {14, genNextHop()},
      {10, key([](Key k) { return Cmd::Remove{k}; })},
      {7, key([](Key k) { return Cmd::Hold{k}; })},
      {4, key([](Key k) { return Cmd::Confirm{k}; })},
      {5, rc::gen::just<Action>(Cmd::Confirm{std::nullopt})},
      {3, rc::gen::just<Action>(Cmd::Purge{})},
      {restarts, rc::gen::just<Action>(Cmd::Restart{})},
      {2, rc::gen::just<Action>(Cmd::RemoveAll{})},
      {2, rc::gen::just<Action>(Cmd::Restart{true})},  // teardown on the attached chip
      {2, rc::gen::just<Action>(Cmd::RemoveAll{true, true})},
      {1, rc::gen::just<Action>(Cmd::RemoveAll{true, false})},
  };
  if (!held.empty()) options.push_back({8, from(held, [](Key k) { return Cmd::Release{k}; })});
  if (!answering.empty()) options.push_back({8, from(answering, [](Key k) { return Cmd::Confirm{k}; })});
  if (model.replayOpen()) options.push_back({4, rc::gen::just<Action>(Cmd::InitComplete{})});

  std::size_t total = 0;
  for (const auto& option : options) total += option.first;
  // Full size: RapidCheck scales ranges with the size it passes, which for a
  // command is the length of its sequence; a short sequence would then see
  // only the first options.
  return rc::gen::resize(rc::kNominalSize, rc::gen::exec([options, total]() -> StepPtr {
    std::size_t r = *rc::gen::inRange<std::size_t>(0, total);
    for (const auto& [weight, gen] : options) {
      if (r < weight) return std::make_shared<Step>(*gen);
      r -= weight;
    }
    return std::make_shared<Step>(*options.front().second);
  }));
}

// --- running -----------------------------------------------------------------------

struct Counters {
  std::uint64_t sequences = 0;
  std::uint64_t steps = 0;
  // Sequences in which a named case (or a rare path worth counting) occurred.
  std::map<std::string, std::uint64_t> seen;
};
Counters counters;

// The last failing sequence as a scenario: RapidCheck reports the last
// failure it finds, the smallest.
std::string lastFailure;

// The commands of the running sequence, for a table assertion that stops the
// process before RapidCheck can report anything.
std::string runningScript;
extern "C" void printRunningScript(int) {
  const char header[] = "\nmodel_tests: the table stopped the process while running this sequence:\n";
  (void)!::write(STDERR_FILENO, header, sizeof header - 1);
  (void)!::write(STDERR_FILENO, runningScript.data(), runningScript.size());
}

// The chip file of the running sequence: in memory when the machine has a
// tmpfs at /dev/shm (every sequence creates and removes its chip, and a restart
// maps it again), else in the temporary directory.
std::string chipFile() {
  static const VelarTest::TempDir dir(true);
  return dir.file("chip");
}

// A generated sequence: the adaptor's mode and the commands.
struct Sequence {
  bool hwIndexInHandle = false;
  std::vector<Action> actions;
};

std::vector<Action> actionsOf(const std::vector<StepPtr>& steps) {
  std::vector<Action> actions;
  actions.reserve(steps.size());
  for (const auto& s : steps) actions.push_back(static_cast<const Step&>(*s).action);
  return actions;
}

// The end of every sequence: the replay ends, the stale entries are purged,
// the chip answers every write. With the programmed-state switch on, a delete
// dance can end before the chip has answered its writes, and answers that
// come later would reach the key's next handle (the table stops on that): the
// agent then restarts instead, the answers lost with it, and the replay ends
// once more.
void runEpilogue(const Model& model, const std::function<void(const Action&)>& step) {
  if (model.replayOpen()) step(Cmd::InitComplete{});
  step(Cmd::Purge{});
  if (model.allows(Cmd::Confirm{std::nullopt})) {
    step(Cmd::Confirm{std::nullopt});
    return;
  }
  step(Cmd::Restart{});
  step(Cmd::InitComplete{});
  step(Cmd::Purge{});
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += "\n  " + line;
  return text;
}

// The cases the generator reaches beyond the everyday commands, counted so
// that a generator gone blind to them fails the check.
void noteRareCases(const Model& model, const Action& action, std::set<std::string>& seen) {
  if (const auto* r = std::get_if<Cmd::Restart>(&action); r != nullptr && r->teardown) {
    for (Key k : model.keys()) {
      if (model.key(k).holds != 0 && model.key(k).resolved) seen.insert("teardownWhileADependentHolds");
    }
  }
  if (const auto* c = std::get_if<Cmd::Commit>(&action); c != nullptr && model.replayComplete() && model.key(c->key).synced) {
    seen.insert("commitOfAStaleKeyBeforeThePurge");
  }
  if (const auto* r = std::get_if<Cmd::RemoveAll>(&action); r != nullptr && r->handles && !model.replayComplete()) {
    seen.insert("handleRemoveAllDuringTheReplay");
  }
  if (model.hwIndexInHandle()) seen.insert("hwIndexInHandle");
}

// Runs the commands, then the epilogue, checking the table against the model
// after each; fails the RapidCheck case with the scenario recorded.
void runSequence(const Sequence& sequence) {
  const auto& actions = sequence.actions;
  Harness harness(chipFile(), kChipEntries, sequence.hwIndexInHandle);
  Model model(kKeys, sequence.hwIndexInHandle);
  std::vector<std::string> lines;
  std::set<std::string> seen;
  runningScript.clear();

  auto fail = [&](const std::string& what, const std::vector<std::string>& problems, const Model& expected) {
    std::vector<std::string> header{"A sequence the model check found (tests/model).", what};
    for (const auto& p : problems) header.push_back("  " + p);
    header.push_back("Run it with: dvp-agent" + std::string(sequence.hwIndexInHandle ? " --hw-index-in-handle" : "") +
                     " run --chip-size " + std::to_string(kChipEntries) + " FILE");
    lastFailure = scenarioText(header, lines, expectLines(expected));
    RC_FAIL(what + joined(problems));
  };
  auto step = [&](const Action& action) {
    if (const auto* hold = std::get_if<Cmd::Hold>(&action)) {
      const auto& h = model.key(hold->key).handle;
      if (h && h->type == Type::inDeletion) seen.insert("referenceTakenDuringDeleteDance");
    }
    noteRareCases(model, action, seen);
    Model next = model;
    try {
      next.apply(action);
    } catch (const Model::Refused& refused) {
      lines.push_back(dvpLine(action));
      fail("the model expects the table to stop here", {refused.what()}, model);
    }
    lines.push_back(dvpLine(action));
    runningScript += lines.back() + "\n";
    std::vector<std::string> problems;
    if (!harness.run(action)) problems.emplace_back("the agent reported a failure");
    auto found = harness.check(model, next);
    problems.insert(problems.end(), found.begin(), found.end());
    ++counters.steps;
    for (Key k : next.keys()) {
      if (next.key(k).chip.leftover != Leftover::none) seen.insert(leftoverName(next.key(k).chip.leftover));
    }
    for (const auto& f : harness.agent().audit().findings) seen.insert(std::string("audit finds ") + auditKindName(f.kind));
    model = std::move(next);
    if (!problems.empty()) fail("after `" + lines.back() + "`:", problems, model);
  };

  for (const auto& action : actions) step(action);
  runEpilogue(model, step);
  if (!model.quiescent() || !model.syncedEmpty()) {
    fail("the model is not settled after the epilogue", {}, model);
  }
  auto leaks = harness.stop();
  if (!leaks.empty()) fail("after the agent stopped:", leaks, model);
  ++counters.sequences;
  for (const auto& name : seen) ++counters.seen[name];
}

std::uint64_t envNumber(const char* name, std::uint64_t fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
}

// Runs a RapidCheck property with the given numbers (the seed from
// VELAR_MODEL_SEED, or RC_PARAMS, or fixed) and reports a failure to
// GoogleTest with the scenario that reproduces it.
template <class Testable>
bool check(const char* name, int sequences, int steps, Testable&& testable) {
  rc::detail::TestParams params = rc::detail::configuration().testParams;
  params.maxSuccess = sequences;
  params.maxSize = steps;
  const char* rcParams = std::getenv("RC_PARAMS");
  if (rcParams == nullptr || std::string(rcParams).find("seed") == std::string::npos) {
    params.seed = envNumber("VELAR_MODEL_SEED", 20240611);
  }
  rc::detail::TestMetadata metadata;
  metadata.id = name;
  metadata.description = name;
  lastFailure.clear();
  const auto result = rc::detail::checkTestable(std::forward<Testable>(testable), metadata, params);
  if (result.template is<rc::detail::SuccessResult>()) return true;
  std::ostringstream message;
  rc::detail::printResultMessage(result, message);
  if (!lastFailure.empty()) {
    const auto file = std::filesystem::temp_directory_path() / (std::string(name) + "-failure.dvp");
    std::ofstream(file) << lastFailure;
    message << "\nThe smallest failing sequence as a dvp-agent scenario (also in " << file.string() << "):\n"
            << lastFailure;
  }
  ADD_FAILURE() << "seed " << params.seed << "\n" << message.str();
  return false;
}

class ModelCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    struct sigaction action {};
    action.sa_handler = printRunningScript;
    sigemptyset(&action.sa_mask);
    action.sa_flags = static_cast<int>(SA_RESETHAND);
    ::sigaction(SIGABRT, &action, &previous_);
  }
  void TearDown() override { ::sigaction(SIGABRT, &previous_, nullptr); }

 private:
  struct sigaction previous_ {};
};

// One sequence in four runs with the hardware index published in handles.
rc::Gen<Sequence> genSequence(std::size_t restarts) {
  return rc::gen::mapcat(rc::gen::weightedElement<bool>({{3, false}, {1, true}}), [restarts](bool hwIndexInHandle) {
    return rc::gen::map(rc::state::gen::commands(Model(kKeys, hwIndexInHandle),
                                                 [restarts](const Model& m) { return genStep(m, restarts); }),
                        [hwIndexInHandle](const std::vector<StepPtr>& steps) {
                          return Sequence{hwIndexInHandle, actionsOf(steps)};
                        });
  });
}

// The table against the model, in two halves that CTest runs side by side:
// 1,000 sequences of up to 60 commands each by default (VELAR_MODEL_SEQUENCES
// and VELAR_MODEL_STEPS for the long mode), one half with restarts now and
// then, the other with restarts often, so that the replay, init completion
// and the purge meet every other command.
void checkTheModel(const char* property, std::size_t restarts) {
  const auto sequences = static_cast<int>(envNumber("VELAR_MODEL_SEQUENCES", 1000));
  const auto steps = static_cast<int>(envNumber("VELAR_MODEL_STEPS", 60));
  counters = Counters{};
  Model::refusals().clear();
  const auto start = std::chrono::steady_clock::now();
  const bool passed = check(property, sequences, steps, [restarts] { runSequence(*genSequence(restarts)); });
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("model check: %llu sequences, %llu commands in %.1f s\n",
              static_cast<unsigned long long>(counters.sequences), static_cast<unsigned long long>(counters.steps),
              took.count());
  for (const auto& [name, count] : counters.seen) {
    std::printf("  %s in %llu sequences\n", name.c_str(), static_cast<unsigned long long>(count));
  }
  for (const auto& [why, count] : Model::refusals()) {
    std::printf("  not generated, the table would assert \"%s\": %llu times\n", why.c_str(),
                static_cast<unsigned long long>(count));
  }
  // Every named case must actually be reached, or the generator has gone
  // blind to it.
  if (passed && sequences >= 1000) {
    EXPECT_GT(counters.seen[leftoverName(Leftover::copyOfKeyRemovedDuringReplay)], 0u);
    EXPECT_GT(counters.seen[leftoverName(Leftover::copyOfEntryWaitingAtReplayEnd)], 0u);
    for (const char* rare : {"teardownWhileADependentHolds", "commitOfAStaleKeyBeforeThePurge",
                             "handleRemoveAllDuringTheReplay", "hwIndexInHandle", "audit finds unowned",
                             "audit finds users", "audit finds tracker"}) {
      EXPECT_GT(counters.seen[rare], 0u) << rare;
    }
  }
}

TEST_F(ModelCheck, TheTableBehavesAsTheModelAfterEveryCommand) { checkTheModel("model", 3); }

TEST_F(ModelCheck, TheTableBehavesAsTheModelAcrossFrequentRestarts) { checkTheModel("model-restarts", 10); }

}  // namespace
}  // namespace VelarModel
