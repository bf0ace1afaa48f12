# The stand-in for a test whose program is not installed: it fails and says
# which program to install (tools/install-deps.sh installs them all).
message(FATAL_ERROR "${TOOL} is not installed: this test cannot run (tools/install-deps.sh installs it)")
