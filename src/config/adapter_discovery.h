// Fills IPAddress, SubnetMask, Routers, DNSServer, WINSServer and DomainName
// of ServerSettings from the machine's own TCP/IP configuration (the registry
// on Windows; interfaces, routes and resolv.conf on Linux), before the INI
// file is read over them.
#pragma once

void discoverAdapterSettings();
