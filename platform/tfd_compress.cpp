#include "platform/tfd_compress.h"

#include <stdint.h>
#include <string.h>

#include "platform/byte_order.h"
#include "platform/rivlib_log.h"

namespace {

// ---------------------------------------------------------------------------------------
// CRC-16

struct CrcTable {
  word entry[256];
};

constexpr CrcTable MakeCrcTable() {
  CrcTable table = {};
  for (int i = 0; i < 256; i++) {
    word crc = (word)i;
    for (int bit = 0; bit < 8; bit++) crc = (crc & 1) ? (word)((crc >> 1) ^ 0xA001) : (word)(crc >> 1);
    table.entry[i] = crc;
  }
  return table;
}

constexpr CrcTable kCrcTable = MakeCrcTable();

// ---------------------------------------------------------------------------------------
// lh5 parameters

enum : int {
  DIC_BITS = 13,
  DIC_SIZE = 1 << DIC_BITS,       // 8192-byte dictionary
  DIC_MASK = DIC_SIZE - 1,
  MIN_MATCH = 3,
  MAX_MATCH = 256,
  NC = 256 + MAX_MATCH - MIN_MATCH + 1,   // 510 character/length codes
  NP = DIC_BITS + 1,                      // 14 distance classes
  NT = 16 + 3,                            // 19 codes for the code-length tree
  CBIT = 9,
  PBIT = 4,
  TBIT = 5,
  MAX_CODE_LEN = 16,
  SLICE = DIC_SIZE + MAX_MATCH,   // input parsed in slices of at most 8448 bytes
  HASH_BITS = 14,
  HASH_SIZE = 1 << HASH_BITS,
  // Match search effort: tree nodes visited per position, and the match length that is
  // taken at once without weighing the positions it covers.
  TREE_DEPTH = 128,
  NICE_MATCH = MAX_MATCH,
  PARSE_PASSES = 3,
  // A symbol buffer holds a flag byte per 8 symbols, 1 byte per literal and 3 per match.
  SYMBOL_BYTES = TFD_BLOCK_MAX + TFD_BLOCK_MAX / 8 + 16,
};

// Number of significant bits of v (0 for 0), for v below 65536.
struct BitLengthTable {
  byte entry[256];
};

constexpr BitLengthTable MakeBitLengthTable() {
  BitLengthTable table = {};
  for (int i = 1; i < 256; i++) {
    int bits = 0;
    for (int v = i; v; v >>= 1) bits++;
    table.entry[i] = (byte)bits;
  }
  return table;
}

constexpr BitLengthTable kBitLength = MakeBitLengthTable();

inline int BitLength(unsigned v) {
  return v < 256 ? kBitLength.entry[v] : kBitLength.entry[v >> 8] + 8;
}

// ---------------------------------------------------------------------------------------
// Working memory

// Huffman tables and scratch space for one alphabet of up to NC symbols.
struct HuffmanScratch {
  dword weight[2 * NC];
  uint16_t parent[2 * NC];
  uint16_t order[NC];            // used symbols, sorted by rising frequency
  uint16_t depthCount[2 * NC];
};

struct CodeTables {
  dword cFreq[NC], pFreq[NP], tFreq[NT];
  dword biasedFreq[NC];
  byte cLen[NC], pLen[NP], tLen[NT];
  uint16_t cCode[NC], pCode[NP], tCode[NT];
  HuffmanScratch scratch;
};

// Bit costs of the symbols, as the parser weighs them.
struct CostModel {
  uint16_t c[NC];       // character/length code
  uint16_t p[NP];       // distance class, extra bits included
};

struct Lh5Work {
  uint16_t *head;       // HASH_SIZE: most recent position + 1 per hash of 3 bytes
  uint16_t *left;       // DIC_SIZE: match tree, position + 1 of the smaller subtree
  uint16_t *right;      // DIC_SIZE: and of the larger one
  dword *cost;          // SLICE + 1: cheapest bits to reach each slice position
  uint16_t *stepLen;    // SLICE + 1: length of the step arriving there (1 = literal)
  uint16_t *stepDist;   // SLICE + 1: distance of that step
  byte *symbols[2];     // SYMBOL_BYTES each: the parse being made and the best so far
  CodeTables *tables;
  CostModel *costs;
};

void FreeWork(Lh5Work *work) {
  void *pieces[] = {work->head,       work->left,       work->right,      work->cost,
                    work->stepLen,    work->stepDist,   work->symbols[0], work->symbols[1],
                    work->tables,     work->costs};
  for (void *piece : pieces) {
    if (piece) TAP_MemFree(piece);
  }
  memset(work, 0, sizeof *work);
}

bool AllocWork(Lh5Work *work) {
  memset(work, 0, sizeof *work);
  work->head = static_cast<uint16_t *>(TAP_MemAlloc(HASH_SIZE * sizeof(uint16_t)));
  work->left = static_cast<uint16_t *>(TAP_MemAlloc(DIC_SIZE * sizeof(uint16_t)));
  work->right = static_cast<uint16_t *>(TAP_MemAlloc(DIC_SIZE * sizeof(uint16_t)));
  work->cost = static_cast<dword *>(TAP_MemAlloc((SLICE + 1) * sizeof(dword)));
  work->stepLen = static_cast<uint16_t *>(TAP_MemAlloc((SLICE + 1) * sizeof(uint16_t)));
  work->stepDist = static_cast<uint16_t *>(TAP_MemAlloc((SLICE + 1) * sizeof(uint16_t)));
  work->symbols[0] = static_cast<byte *>(TAP_MemAlloc(SYMBOL_BYTES));
  work->symbols[1] = static_cast<byte *>(TAP_MemAlloc(SYMBOL_BYTES));
  work->tables = static_cast<CodeTables *>(TAP_MemAlloc(sizeof(CodeTables)));
  work->costs = static_cast<CostModel *>(TAP_MemAlloc(sizeof(CostModel)));
  if (work->head && work->left && work->right && work->cost && work->stepLen && work->stepDist &&
      work->symbols[0] && work->symbols[1] && work->tables && work->costs) {
    return true;
  }
  FreeWork(work);
  LogEntryRivlibPrintf(false, "lh5.Encode: unable to allocate memory");
  return false;
}

// ---------------------------------------------------------------------------------------
// Symbol buffer: groups of a flag byte (bit i set: item i is a match) and up to 8 items,
// a literal as 1 byte, a match as length - 3 and distance - 1 (2 bytes, high first).

struct SymbolWriter {
  byte *buffer;
  dword size;
  dword flagAt;
  int item;             // items in the current group
  dword count;          // symbols written

  explicit SymbolWriter(byte *b) : buffer(b), size(0), flagAt(0), item(8), count(0) {}

  void StartItem(bool match) {
    if (item == 8) {
      flagAt = size;
      buffer[size++] = 0;
      item = 0;
    }
    if (match) buffer[flagAt] = (byte)(buffer[flagAt] | 1 << item);
    item++;
    count++;
  }
  void Literal(byte c) {
    StartItem(false);
    buffer[size++] = c;
  }
  void Match(int length, int distance) {
    StartItem(true);
    buffer[size++] = (byte)(length - MIN_MATCH);
    buffer[size++] = (byte)((distance - 1) >> 8);
    buffer[size++] = (byte)(distance - 1);
  }
};

struct SymbolReader {
  const byte *buffer;
  dword at;
  int item;
  byte flags;

  explicit SymbolReader(const byte *b) : buffer(b), at(0), item(8), flags(0) {}

  // Returns the character/length code; *position gets distance - 1 for a match.
  int Next(int *position) {
    if (item == 8) {
      flags = buffer[at++];
      item = 0;
    }
    bool match = flags >> item & 1;
    item++;
    if (!match) return buffer[at++];
    int code = buffer[at] + MIN_MATCH + 253;
    *position = buffer[at + 1] << 8 | buffer[at + 2];
    at += 3;
    return code;
  }
};

// ---------------------------------------------------------------------------------------
// Huffman code lengths, limited to MAX_CODE_LEN bits, and canonical codes

// Fills len[0..n) with code lengths for the frequencies. Returns the number of used
// symbols; with fewer than 2 every length is 0 and *single gets the used symbol (or 0).
int MakeLengths(const dword *freq, int n, byte *len, HuffmanScratch *s, int *single) {
  int used = 0;
  *single = 0;
  for (int i = 0; i < n; i++) {
    len[i] = 0;
    if (freq[i]) {
      s->order[used++] = (uint16_t)i;
      *single = i;
    }
  }
  if (used < 2) return used;

  // Sort the used symbols by rising frequency (ties by symbol, for a stable result).
  for (int gap = used / 2; gap > 0; gap /= 2) {
    for (int i = gap; i < used; i++) {
      uint16_t sym = s->order[i];
      int j = i;
      while (j >= gap && (freq[s->order[j - gap]] > freq[sym] ||
                          (freq[s->order[j - gap]] == freq[sym] && s->order[j - gap] > sym))) {
        s->order[j] = s->order[j - gap];
        j -= gap;
      }
      s->order[j] = sym;
    }
  }

  // Two-queue Huffman construction: nodes 0..used-1 are the sorted leaves, internal nodes
  // follow in the order they are made (their weights never decrease).
  for (int i = 0; i < used; i++) s->weight[i] = freq[s->order[i]];
  int leaf = 0, inner = used, next = used;
  for (int made = 0; made < used - 1; made++) {
    int pick[2];
    for (int k = 0; k < 2; k++) {
      if (leaf < used && (inner >= next || s->weight[leaf] <= s->weight[inner])) {
        pick[k] = leaf++;
      } else {
        pick[k] = inner++;
      }
    }
    s->weight[next] = s->weight[pick[0]] + s->weight[pick[1]];
    s->parent[pick[0]] = s->parent[pick[1]] = (uint16_t)next;
    next++;
  }

  // Depths: the root is the last node; every node lies one below its parent. The depth
  // of each node is kept in weight[], which is no longer needed.
  int root = next - 1;
  s->weight[root] = 0;
  for (int i = root - 1; i >= 0; i--) s->weight[i] = s->weight[s->parent[i]] + 1;
  int maxDepth = 0;
  for (int d = 0; d < 2 * NC; d++) s->depthCount[d] = 0;
  for (int i = 0; i < used; i++) {
    int d = (int)s->weight[i];
    s->depthCount[d]++;
    if (d > maxDepth) maxDepth = d;
  }

  // Too deep: move leaves up while keeping the code complete. Each step takes two leaves
  // from the deepest level, puts one of them in their parent's place and hangs the other
  // together with a leaf from a shallower level below that leaf's old place.
  for (int d = maxDepth; d > MAX_CODE_LEN; d--) {
    while (s->depthCount[d] > 0) {
      int j = d - 2;
      while (s->depthCount[j] == 0) j--;
      s->depthCount[d] -= 2;
      s->depthCount[d - 1]++;
      s->depthCount[j + 1] += 2;
      s->depthCount[j]--;
    }
  }
  if (maxDepth > MAX_CODE_LEN) maxDepth = MAX_CODE_LEN;

  // The most frequent symbols get the shortest codes.
  int at = used - 1;
  for (int d = 1; d <= maxDepth; d++) {
    for (int k = 0; k < s->depthCount[d]; k++) len[s->order[at--]] = (byte)d;
  }
  return used;
}

// Canonical codes: shorter codes first, equal lengths in symbol order.
void MakeCodes(const byte *len, int n, uint16_t *code) {
  uint16_t count[MAX_CODE_LEN + 1] = {};
  uint16_t start[MAX_CODE_LEN + 2] = {};
  for (int i = 0; i < n; i++) count[len[i]]++;
  count[0] = 0;
  for (int l = 1; l <= MAX_CODE_LEN; l++) start[l + 1] = (uint16_t)((start[l] + count[l]) << 1);
  for (int i = 0; i < n; i++) code[i] = len[i] ? start[len[i]]++ : 0;
}

// ---------------------------------------------------------------------------------------
// Bit output, most significant bit first, bounded by a limit

struct BitWriter {
  byte *out;            // null: only count
  dword limit;
  dword size;
  uint32_t bits;
  int pending;

  BitWriter(byte *o, dword l) : out(o), limit(l), size(0), bits(0), pending(0) {}

  void Put(int n, unsigned value) {
    bits = bits << n | (value & ((1u << n) - 1));
    pending += n;
    while (pending >= 8) {
      pending -= 8;
      if (out && size < limit) out[size] = (byte)(bits >> pending);
      size++;
    }
  }
  void Flush() {
    if (pending) Put(8 - pending, 0);
  }
};

// Writes the lengths of a small tree (code-length tree or distance tree): a count, then
// each length in 3 bits, or for 7 and more as that many minus 3 one-bits and a zero.
// After entry special - 1 a 2-bit count of the zero lengths that follow (up to 3).
void WritePtLengths(BitWriter *w, const byte *len, int n, int countBits, int special) {
  while (n > 0 && len[n - 1] == 0) n--;
  w->Put(countBits, (unsigned)n);
  int i = 0;
  while (i < n) {
    int k = len[i++];
    if (k <= 6) {
      w->Put(3, (unsigned)k);
    } else {
      w->Put(k - 3, (1u << (k - 3)) - 2);
    }
    if (i == special) {
      while (i < 6 && len[i] == 0) i++;
      w->Put(2, (i - special) & 3);
    }
  }
}

// Frequencies of the code-length tree's symbols for the character/length lengths:
// 0 one zero length, 1 a run of 3..18 zeros, 2 a run of 20 and more, k + 2 length k.
int TrimmedC(const byte *cLen) {
  int n = NC;
  while (n > 0 && cLen[n - 1] == 0) n--;
  return n;
}

void CountTFreq(const CodeTables *t, dword *tFreq) {
  for (int i = 0; i < NT; i++) tFreq[i] = 0;
  int n = TrimmedC(t->cLen);
  int i = 0;
  while (i < n) {
    int k = t->cLen[i++];
    if (k != 0) {
      tFreq[k + 2]++;
      continue;
    }
    int run = 1;
    while (i < n && t->cLen[i] == 0) {
      i++;
      run++;
    }
    if (run <= 2) {
      tFreq[0] += (dword)run;
    } else if (run <= 18) {
      tFreq[1]++;
    } else if (run == 19) {
      tFreq[0]++;
      tFreq[1]++;
    } else {
      tFreq[2]++;
    }
  }
}

void WriteCLengths(BitWriter *w, const CodeTables *t) {
  int n = TrimmedC(t->cLen);
  w->Put(CBIT, (unsigned)n);
  int i = 0;
  while (i < n) {
    int k = t->cLen[i++];
    if (k != 0) {
      w->Put(t->tLen[k + 2], t->tCode[k + 2]);
      continue;
    }
    int run = 1;
    while (i < n && t->cLen[i] == 0) {
      i++;
      run++;
    }
    if (run <= 2) {
      for (int r = 0; r < run; r++) w->Put(t->tLen[0], t->tCode[0]);
    } else if (run <= 18) {
      w->Put(t->tLen[1], t->tCode[1]);
      w->Put(4, (unsigned)(run - 3));
    } else if (run == 19) {
      w->Put(t->tLen[0], t->tCode[0]);
      w->Put(t->tLen[1], t->tCode[1]);
      w->Put(4, 15);
    } else {
      w->Put(t->tLen[2], t->tCode[2]);
      w->Put(CBIT, (unsigned)(run - 20));
    }
  }
}

// The code-length tree for the current character/length lengths.
void MakeTTables(CodeTables *t, int cUsed, int *tSingle, int *tUsed) {
  *tUsed = 0;
  *tSingle = 0;
  if (cUsed < 2) return;
  CountTFreq(t, t->tFreq);
  *tUsed = MakeLengths(t->tFreq, NT, t->tLen, &t->scratch, tSingle);
  MakeCodes(t->tLen, NT, t->tCode);
}

// Bits of the character/length symbols plus the tables that describe their codes.
dword CBits(const CodeTables *t, int tSingle, int tUsed) {
  BitWriter w(nullptr, 0);
  if (tUsed >= 2) {
    WritePtLengths(&w, t->tLen, NT, TBIT, 3);
  } else {
    w.Put(TBIT, 0);
    w.Put(TBIT, (unsigned)tSingle);
  }
  WriteCLengths(&w, t);
  dword bits = w.size * 8 + (dword)w.pending;
  for (int i = 0; i < NC; i++) bits += t->cFreq[i] * t->cLen[i];
  return bits;
}

// Character/length code lengths from the frequencies, each used one raised by bias
// (in eighths): flatter codes cost a few data bits but can shrink the tables by more.
void MakeCLengths(CodeTables *t, int bias) {
  for (int i = 0; i < NC; i++) t->biasedFreq[i] = t->cFreq[i] ? t->cFreq[i] * 8 + (dword)bias : 0;
  int single;
  MakeLengths(t->biasedFreq, NC, t->cLen, &t->scratch, &single);
}

// Builds the Huffman tables for the symbols of one parse (frequencies counted first).
void BuildTables(CodeTables *t, const byte *symbols, dword count, int *cSingle, int *cUsed,
                 int *pSingle, int *pUsed, int *tSingle, int *tUsed) {
  memset(t->cFreq, 0, sizeof t->cFreq);
  memset(t->pFreq, 0, sizeof t->pFreq);
  SymbolReader reader(symbols);
  for (dword i = 0; i < count; i++) {
    int position = 0;
    int c = reader.Next(&position);
    t->cFreq[c]++;
    if (c >= 256) t->pFreq[BitLength((unsigned)position)]++;
  }
  *cUsed = MakeLengths(t->cFreq, NC, t->cLen, &t->scratch, cSingle);
  MakeTTables(t, *cUsed, tSingle, tUsed);
  if (*cUsed >= 2) {
    static constexpr int kBias[] = {1, 2, 4, 8, 12, 16, 24};
    dword bestBits = CBits(t, *tSingle, *tUsed);
    int bestBias = 0;
    for (int bias : kBias) {
      MakeCLengths(t, bias);
      MakeTTables(t, *cUsed, tSingle, tUsed);
      dword bits = CBits(t, *tSingle, *tUsed);
      if (bits < bestBits) {
        bestBits = bits;
        bestBias = bias;
      }
    }
    MakeCLengths(t, bestBias);
    MakeTTables(t, *cUsed, tSingle, tUsed);
  }
  *pUsed = MakeLengths(t->pFreq, NP, t->pLen, &t->scratch, pSingle);
  MakeCodes(t->cLen, NC, t->cCode);
  MakeCodes(t->pLen, NP, t->pCode);
}

// Writes one lh5 block of count symbols with the tables built for them.
void WriteBlock(BitWriter *w, const CodeTables *t, const byte *symbols, dword count,
                int cSingle, int cUsed, int pSingle, int pUsed, int tSingle, int tUsed) {
  w->Put(16, count);
  if (cUsed >= 2) {
    if (tUsed >= 2) {
      WritePtLengths(w, t->tLen, NT, TBIT, 3);
    } else {
      w->Put(TBIT, 0);
      w->Put(TBIT, (unsigned)tSingle);
    }
    WriteCLengths(w, t);
  } else {
    w->Put(TBIT, 0);
    w->Put(TBIT, 0);
    w->Put(CBIT, 0);
    w->Put(CBIT, (unsigned)cSingle);
  }
  if (pUsed >= 2) {
    WritePtLengths(w, t->pLen, NP, PBIT, -1);
  } else {
    w->Put(PBIT, 0);
    w->Put(PBIT, (unsigned)pSingle);
  }
  SymbolReader reader(symbols);
  for (dword i = 0; i < count; i++) {
    int position = 0;
    int c = reader.Next(&position);
    w->Put(t->cLen[c], t->cCode[c]);
    if (c >= 256) {
      int bits = BitLength((unsigned)position);
      w->Put(t->pLen[bits], t->pCode[bits]);
      if (bits > 1) w->Put(bits - 1, (unsigned)position);
    }
  }
}

// Encodes a parse as one lh5 block and returns its size in bytes; writes it to out when
// given, never past limit bytes.
dword EncodeSymbols(CodeTables *t, const byte *symbols, dword count, byte *out, dword limit) {
  int cSingle, cUsed, pSingle, pUsed, tSingle, tUsed;
  BuildTables(t, symbols, count, &cSingle, &cUsed, &pSingle, &pUsed, &tSingle, &tUsed);
  BitWriter w(out, limit);
  WriteBlock(&w, t, symbols, count, cSingle, cUsed, pSingle, pUsed, tSingle, tUsed);
  w.Flush();
  return w.size;
}

// ---------------------------------------------------------------------------------------
// Cost models for the parser

// A first guess before any parse: literals by their frequency in the block, lengths and
// distances by typical code sizes.
void InitialCosts(CostModel *m, const byte *data, dword n, HuffmanScratch *scratch,
                  dword *freq, byte *len) {
  for (int i = 0; i < NC; i++) freq[i] = 0;
  for (dword i = 0; i < n; i++) freq[data[i]]++;
  int single;
  MakeLengths(freq, 256, len, scratch, &single);
  for (int i = 0; i < 256; i++) m->c[i] = (uint16_t)(len[i] ? len[i] : 8);
  for (int i = 256; i < NC; i++) {
    int length = i - 253;
    m->c[i] = (uint16_t)(length < 8 ? 5 + length / 2 : 8 + BitLength((unsigned)length) / 2);
  }
  for (int c = 0; c < NP; c++) m->p[c] = (uint16_t)(3 + (c > 1 ? c - 1 : 0));
}

// Costs from the code lengths of a previous parse. Symbols it did not use get a little
// more than its longest code.
void CostsFromTables(CostModel *m, const CodeTables *t) {
  int cMax = 1, pMax = 1;
  for (int i = 0; i < NC; i++) cMax = t->cLen[i] > cMax ? t->cLen[i] : cMax;
  for (int i = 0; i < NP; i++) pMax = t->pLen[i] > pMax ? t->pLen[i] : pMax;
  for (int i = 0; i < NC; i++) m->c[i] = (uint16_t)(t->cLen[i] ? t->cLen[i] : cMax + 2);
  for (int c = 0; c < NP; c++) {
    m->p[c] = (uint16_t)((t->pLen[c] ? t->pLen[c] : pMax + 2) + (c > 1 ? c - 1 : 0));
  }
}

// ---------------------------------------------------------------------------------------
// Parser: shortest path through the block under a cost model, slice by slice

inline unsigned HashAt(const byte *p) {
  return ((unsigned)(p[0] << 16 | p[1] << 8 | p[2]) * 2654435761u) >> (32 - HASH_BITS);
}

struct MatchList {
  int count;
  uint16_t length[MAX_MATCH];   // rising lengths
  uint16_t distance[MAX_MATCH]; // nearest distance giving at least that length
};

class Parser {
 public:
  Parser(Lh5Work *work, const byte *data, dword n) : w_(work), data_(data), n_(n) {}

  // Parses the whole block into symbols; returns the symbol count.
  dword Run(const CostModel *m, byte *symbols) {
    memset(w_->head, 0, HASH_SIZE * sizeof(uint16_t));
    SymbolWriter out(symbols);
    for (dword start = 0; start < n_;) {
      dword end = n_ - start > (dword)SLICE ? start + SLICE : n_;
      ParseSlice(m, start, end, &out);
      start = end;
    }
    return out.count;
  }

 private:
  // Adds i to the match tree without collecting matches (positions a long match covers).
  void Insert(dword i) {
    MatchList none;
    FindMatches(i, 0, &none);
  }

  // Collects the matches at i, no longer than reportLen, and adds i to the match tree.
  //
  // The positions with the same hash of their first 3 bytes form a binary tree ordered by
  // the bytes that follow them, the newest position at the root and every node newer
  // than the nodes below it. Walking down from the root to i's place visits candidates
  // at rising distances and meets the longest matches on the way; i becomes the new root
  // and the walk re-hangs the visited nodes to its left and right.
  void FindMatches(dword i, int reportLen, MatchList *list) {
    list->count = 0;
    if (i + MIN_MATCH > n_) return;
    int limit = n_ - i < (dword)MAX_MATCH ? (int)(n_ - i) : MAX_MATCH;
    unsigned h = HashAt(data_ + i);
    unsigned link = w_->head[h];
    w_->head[h] = (uint16_t)(i + 1);
    uint16_t *smaller = &w_->left[i & DIC_MASK];
    uint16_t *larger = &w_->right[i & DIC_MASK];
    int smallerLen = 0, largerLen = 0, best = MIN_MATCH - 1;
    const byte *cur = data_ + i;
    for (int depth = TREE_DEPTH; link && depth > 0; depth--) {
      dword q = link - 1;
      dword distance = i - q;
      // Tree slots are reused after DIC_SIZE positions, so the walk stops one short.
      if (distance >= (dword)DIC_SIZE) break;
      const byte *cand = data_ + q;
      int len = smallerLen < largerLen ? smallerLen : largerLen;
      while (len + 4 <= limit) {
        uint32_t a, b;
        memcpy(&a, cand + len, 4);
        memcpy(&b, cur + len, 4);
        if (a != b) break;
        len += 4;
      }
      while (len < limit && cand[len] == cur[len]) len++;
      if (len > best) {
        best = len;
        int usable = len < reportLen ? len : reportLen;
        if (usable >= MIN_MATCH && (list->count == 0 || usable > list->length[list->count - 1])) {
          list->length[list->count] = (uint16_t)usable;
          list->distance[list->count] = (uint16_t)distance;
          list->count++;
        }
      }
      if (len >= limit) {
        // Same bytes as far as can be compared: i takes q's place in the tree.
        *smaller = w_->left[q & DIC_MASK];
        *larger = w_->right[q & DIC_MASK];
        return;
      }
      if (cand[len] < cur[len]) {
        *smaller = (uint16_t)link;
        smaller = &w_->right[q & DIC_MASK];
        smallerLen = len;
        link = *smaller;
      } else {
        *larger = (uint16_t)link;
        larger = &w_->left[q & DIC_MASK];
        largerLen = len;
        link = *larger;
      }
    }
    *smaller = 0;
    *larger = 0;
  }

  void Relax(dword k, dword c, int length, int distance) {
    if (c < w_->cost[k]) {
      w_->cost[k] = c;
      w_->stepLen[k] = (uint16_t)length;
      w_->stepDist[k] = (uint16_t)distance;
    }
  }

  void ParseSlice(const CostModel *m, dword start, dword end, SymbolWriter *out) {
    dword span = end - start;
    for (dword k = 0; k <= span; k++) w_->cost[k] = 0xFFFFFFFFu;
    w_->cost[0] = 0;
    MatchList list;
    dword i = start;
    while (i < end) {
      dword k = i - start;
      dword here = w_->cost[k];
      Relax(k + 1, here + m->c[data_[i]], 1, 0);
      int maxLen = end - i < (dword)MAX_MATCH ? (int)(end - i) : MAX_MATCH;
      FindMatches(i, maxLen, &list);
      if (list.count == 0) {
        i++;
        continue;
      }
      int longest = list.length[list.count - 1];
      if (longest >= NICE_MATCH) {
        // Long enough to take as it is: skip the positions it covers.
        int distance = list.distance[list.count - 1];
        Relax(k + (dword)longest, here + m->c[longest + 253] + m->p[BitLength((unsigned)(distance - 1))],
              longest, distance);
        for (dword j = i + 1; j < i + (dword)longest; j++) Insert(j);
        i += (dword)longest;
        continue;
      }
      int length = MIN_MATCH;
      for (int e = 0; e < list.count; e++) {
        int distance = list.distance[e];
        dword base = here + m->p[BitLength((unsigned)(distance - 1))];
        for (; length <= list.length[e]; length++) {
          Relax(k + (dword)length, base + m->c[length + 253], length, distance);
        }
      }
      i++;
    }

    // Walk back from the end, keeping the path's positions in cost[] (no longer needed),
    // then write the steps in order.
    dword steps = 0;
    for (dword k = span; k > 0; k -= w_->stepLen[k]) w_->cost[steps++] = k;
    dword from = 0;
    while (steps > 0) {
      dword to = w_->cost[--steps];
      if (w_->stepLen[to] == 1) {
        out->Literal(data_[start + from]);
      } else {
        out->Match(w_->stepLen[to], w_->stepDist[to]);
      }
      from = to;
    }
  }

  Lh5Work *w_;
  const byte *data_;
  dword n_;
};

// Compresses one block with the working memory; returns the lh5 size, or 0 when it is not
// smaller than the input (the block is then stored). out, when given, gets the data.
dword EncodeBlock(Lh5Work *work, const byte *data, dword n, byte *out) {
  CodeTables *t = work->tables;
  CostModel *m = work->costs;
  InitialCosts(m, data, n, &t->scratch, t->cFreq, t->cLen);
  Parser parser(work, data, n);

  int best = -1;
  dword bestSize = 0, bestCount = 0;
  for (int pass = 0; pass < PARSE_PASSES; pass++) {
    int slot = best == 0 ? 1 : 0;
    dword count = parser.Run(m, work->symbols[slot]);
    dword size = EncodeSymbols(t, work->symbols[slot], count, nullptr, 0);
    if (best < 0 || size < bestSize) {
      best = slot;
      bestSize = size;
      bestCount = count;
    }
    if (pass + 1 < PARSE_PASSES) CostsFromTables(m, t);
  }
  if (bestSize == 0 || bestSize >= n) return 0;
  if (out) EncodeSymbols(t, work->symbols[best], bestCount, out, n);
  return bestSize;
}

dword StoreBlock(const byte *data, dword n, byte *out) {
  if (out) memmove(out, data, n);
  return n;
}

// Compresses one block, reserving the working memory when it is not there yet.
dword CompressWithWork(Lh5Work *work, bool *haveWork, const byte *data, dword n, byte *out) {
  if (!*haveWork) *haveWork = AllocWork(work);
  if (!*haveWork) return StoreBlock(data, n, out);
  dword size = EncodeBlock(work, data, n, out);
  return size ? size : StoreBlock(data, n, out);
}

}  // namespace

word CRC16(word initial, const void *bytes, dword count) {
  const byte *p = static_cast<const byte *>(bytes);
  word crc = initial;
  if (!p) return crc;
  for (dword i = 0; i < count; i++) crc = (word)(kCrcTable.entry[(crc ^ p[i]) & 0xFF] ^ (crc >> 8));
  return crc;
}

int TFDCodeLengths(const dword *freq, int n, byte *lengths) {
  if (!freq || !lengths || n < 0 || n > NC) return -1;
  HuffmanScratch *scratch = static_cast<HuffmanScratch *>(TAP_MemAlloc(sizeof(HuffmanScratch)));
  if (!scratch) return -1;
  int single;
  int used = MakeLengths(freq, n, lengths, scratch, &single);
  TAP_MemFree(scratch);
  return used;
}

dword CompressBlock(const byte *data, dword n, byte *out) {
  if (!data || n == 0 || n > TFD_BLOCK_MAX) return 0;
  Lh5Work work;
  bool haveWork = false;
  dword size = CompressWithWork(&work, &haveWork, data, n, out);
  if (haveWork) FreeWork(&work);
  return size;
}

dword CompressTFD(const byte *data, dword length, byte *out, word blockType, word systemId,
                  TFDProgressFunction progress) {
  if (!data) return 0;
  dword blocks = length / TFD_BLOCK_MAX + (length % TFD_BLOCK_MAX != 0);
  if (blocks > TFD_MAX_BLOCKS) return 0;

  if (out) {
    PutBE16(out, 8);
    PutBE16(out + 4, systemId);
    PutBE16(out + 6, 1);
  }
  Lh5Work work;
  bool haveWork = false;
  dword total = TFD_HEADER_SIZE;
  for (dword done = 0; done < length;) {
    if (progress) progress((dword)((uint64_t)done * 100 / length));
    dword n = length - done < TFD_BLOCK_MAX ? length - done : TFD_BLOCK_MAX;
    byte *block = out ? out + total : nullptr;
    dword packed =
        CompressWithWork(&work, &haveWork, data + done, n, block ? block + TFD_BLOCK_HEADER_SIZE : nullptr);
    if (block) {
      PutBE16(block, (word)(packed + 6));
      PutBE16(block + 4, blockType);
      PutBE16(block + 6, (word)n);
      PutBE16(block + 2, CRC16(0, block + 4, packed + 4));
    }
    total += TFD_BLOCK_HEADER_SIZE + packed;
    done += n;
  }
  if (haveWork) FreeWork(&work);
  if (out) {
    PutBE16(out + 8, (word)blocks);
    PutBE16(out + 2, CRC16(0, out + 4, 6));
  }
  if (progress) progress(100);
  return total;
}
