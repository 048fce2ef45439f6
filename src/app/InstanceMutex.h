// The single-instance test of the program entry.
#pragma once

#include <functional>
#include <string>

// Sleeps a random 0 to 999 ms (so that instances started together do not meet
// at the same moment), then takes the named mutex. True when this process is
// the only instance and may go on; false when another instance holds the
// mutex, or it could not be made. BeforeCreate runs between the look for
// another instance and the creation, where a second instance may come in.
bool AcquireInstanceMutex(const std::string& Name, const std::function<void()>& BeforeCreate = nullptr);
// Called once, after the message loop has ended.
void ReleaseInstanceMutex();
