// wqxobj decode --pcap: the object traffic of a packet capture as JSON.
#ifndef WQX_CLI_PCAP_DECODE_H
#define WQX_CLI_PCAP_DECODE_H

// Prints every message to or from `port` in the capture at path ("-" for
// standard input); returns the exit status.
int decodeCapture(const char* path, unsigned short port, bool pretty);

#endif
