// A lot in the identity pool as a job's identity source: one connection per port, opened on first
// use so that it belongs to the thread the port's jobs run on.
#pragma once

#include "IdentitySource.h"

#include <memory>
#include <string>

// url as the pool takes it ("sqlite:PATH" relative to programDir, or a PostgreSQL URI); empty: the
// default pool in the program folder.
std::unique_ptr<IIdentitySource> MakePoolSource(const std::string& url, const std::string& programDir,
                                                const std::string& lot);
