#pragma once

// Starting this program anew, e.g. after its settings file was replaced.
namespace Relaunch {

// Starts a new instance of this executable (no shell in between) that waits until this process has ended
// before it reads its settings. False when it could not be started.
bool startSuccessor();
// Called first thing in main(): when this instance was started as a successor, waits (at most a few
// seconds) until its predecessor has ended.
void awaitPredecessor();

} // namespace Relaunch
