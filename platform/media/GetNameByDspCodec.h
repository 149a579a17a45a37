#pragma once

// Writes the name of the DSP codec CODEC (an RTP static payload type) into
// NAME, which must hold at least kMaxCodecName bytes: 0 "PCMU", 3 "GSM",
// 4 "G723", 8 "PCMA", 9 "G722", 15 "G728", 18 "G729", any other "unknown".
// Returns 1 for a known codec, 0 otherwise. Thread-safe.
constexpr int kMaxCodecName = 8;
int GetNameByDspCodec(int codec, char* name);
