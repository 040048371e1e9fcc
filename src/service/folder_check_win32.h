// The owner and access entries of the service's folder and of the programs
// and libraries in it, read for folder_check.h.
#pragma once

#include <string>
#include <vector>

#include "service/folder_check.h"

std::vector<ObjectAccess> ReadProgramFolder(const std::string& directory);

// Accounts trusted besides the three of folder_check.h. Under Wine, its one
// account: there the access lists are made up from the Unix file modes and
// name that account as the owner of every file.
std::vector<std::string> AccountsTrustedHere();

// "DOMAIN\name" of an account, or "" when it has none.
std::string AccountName(const std::string& sid);

// Checks the folder; prints the refusal and returns false when it is not safe.
bool ProgramFolderSafe(const std::string& directory);
