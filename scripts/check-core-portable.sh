#!/bin/bash
# The portable core includes no platform header: only *_win32.cpp and
# *_posix.cpp files (and the Windows programs' folders) may.
cd "$(dirname "$0")/.."
pattern='#include *<(windows\.h|winsock2?\.h|ws2tcpip\.h|iphlpapi\.h|sys/socket\.h|netinet/[a-z_]+\.h|arpa/inet\.h|unistd\.h|sys/ioctl\.h|net/if\.h|ifaddrs\.h|poll\.h|sys/un\.h|fcntl\.h|signal\.h)>'
offenders=$(grep -rlE "$pattern" src/base src/dhcp src/leases src/config src/export src/shell src/host \
  --include='*.cpp' --include='*.h' | grep -vE '_(win32|posix)\.(cpp|h)$' || true)
if [ -n "$offenders" ]; then
  echo "Platform headers in portable core files:"
  grep -nE "$pattern" $offenders
  exit 1
fi
echo "core portability check: ok"
