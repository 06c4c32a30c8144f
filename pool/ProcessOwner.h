// Who holds a reservation: this process, told apart from a later one with the same number.
#pragma once

#include <string>

struct ProcessIdentity {
    std::string host;
    std::string boot; // changes with every start of the machine (empty where unknown)
    long long pid = 0;
    std::string start; // the process's start time as the system counts it
};

ProcessIdentity ThisProcess();

// "host|boot|pid|start|tag": the owner text stored with a reservation; tag tells this process's
// connections apart.
std::string OwnerText(const ProcessIdentity& p, const std::string& tag);
bool ParseOwnerText(const std::string& text, ProcessIdentity& p);

enum class Liveness { Alive, Gone, Unknown };
// Alive or Gone for a process of this machine; Unknown for another machine's.
Liveness ProcessLiveness(const ProcessIdentity& p);
