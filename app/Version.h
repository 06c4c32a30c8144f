// The program's version, from the project's version in the build.
#pragma once

inline constexpr char kProgramVersion[] = TELVANOR_VERSION;
