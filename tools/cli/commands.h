// The subcommands of wqxobj; each takes argv starting at its own name and
// returns the exit status.
#ifndef WQX_CLI_COMMANDS_H
#define WQX_CLI_COMMANDS_H

int cmdDecode(int argc, char** argv);
int cmdEncode(int argc, char** argv);
int cmdGet(int argc, char** argv);
int cmdIndex(int argc, char** argv);
int cmdSet(int argc, char** argv);
int cmdListen(int argc, char** argv);
int cmdSim(int argc, char** argv);
int cmdDemo(int argc, char** argv);

#endif
