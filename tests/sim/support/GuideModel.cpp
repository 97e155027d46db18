#include "sim/GuideModel.h"

#include <stdexcept>
#include <string>

#include "c3x/Isa.h"

namespace velmora::sim::guide {
namespace {

using c3x::AddrMode;
using c3x::Op;

// Status register bits (guide figure 3-3).
constexpr uint32_t C = 1, V = 2, Z = 4, N = 8, UF = 16, LV = 32, LUF = 64, OVM = 128, RM = 256;

constexpr int64_t kTwo31 = int64_t{1} << 31;
constexpr int64_t kTwo32 = int64_t{1} << 32;

[[noreturn]] void Unsupported(const std::string& what) {
  throw std::logic_error("guide model: " + what);
}

// --- floating point, chapter 5 ---------------------------------------------
// A mantissa with its implied bit made explicit, as the flowcharts draw it:
// 01.f for positive numbers, 10.f for negative ones, 31 fraction bits; the
// value is m * 2^(e - 31).
struct Wide {
  bool zero = true;
  int e = 0;
  int64_t m = 0;
};

Wide Explicit(Reg40 a) {
  if (a.exp == -128) return {};
  const int64_t f = a.man & 0x7FFFFFFF;
  return {false, a.exp, (a.man & 0x80000000u) ? f - kTwo32 : f + kTwo31};
}

// Arithmetic right shift by one, dropping the bit shifted out.
int64_t HalveDown(int64_t m) {
  return m >= 0 ? m / 2 : -((-m + 1) / 2);
}

// Steps common to the flowcharts after the mantissa arithmetic: zero test,
// mantissa overflow (shift right), normalisation (shift left over the
// nonsignificant sign bits), then the exponent tests.
FloatOut Finish(int64_t m, int e) {
  FloatOut out;
  if (m == 0) {
    out.z = true;
    return out;
  }
  while (m >= kTwo32 || m < -kTwo32) {
    m = HalveDown(m);
    ++e;
  }
  while (m >= -kTwo31 && m < kTwo31) {  // bits 32 and 31 alike: one more shift
    m *= 2;
    --e;
  }
  out.n = m < 0;
  if (e > 127) {  // most positive or most negative extended-precision value
    out.v = true;
    out.value = {127, out.n ? 0x80000000u : 0x7FFFFFFFu};
    return out;
  }
  if (e <= -128) {  // underflow: forced to 0; Z is not set (see RND, NORM)
    out.uf = true;
    return out;
  }
  out.value.exp = e;
  out.value.man = static_cast<uint32_t>(m < 0 ? (m + kTwo32) | kTwo31 : m - kTwo31);
  return out;
}

FloatOut AddWide(Wide a, Wide b) {
  if (a.zero && b.zero) return Finish(0, 0);
  if (a.zero) return Finish(b.m, b.e);
  if (b.zero) return Finish(a.m, a.e);
  if (a.e > b.e) std::swap(a, b);
  // Align: the operand with the smaller exponent goes right, its low bits
  // discarded to stay in extended precision.
  for (int d = b.e - a.e; d > 0 && a.m != 0 && a.m != -1; --d) a.m = HalveDown(a.m);
  return Finish(a.m + b.m, b.e);
}

}  // namespace

uint32_t Machine::Read(uint32_t address) const {
  const auto it = memory.find(address & 0xFFFFFF);
  return it == memory.end() ? 0 : it->second;
}

FloatOut Add(Reg40 a, Reg40 b) {
  return AddWide(Explicit(a), Explicit(b));
}

FloatOut Subtract(Reg40 a, Reg40 b) {
  Wide nb = Explicit(b);
  nb.m = -nb.m;
  return AddWide(Explicit(a), nb);
}

FloatOut Multiply(Reg40 a, Reg40 b) {
  Wide x = Explicit(a), y = Explicit(b);
  if (x.zero || y.zero) return Finish(0, 0);
  // Extended-precision operands are truncated to single precision (24-bit
  // mantissas); the 50-bit product keeps 46 fraction bits.
  for (int i = 0; i < 8; ++i) {
    x.m = HalveDown(x.m);
    y.m = HalveDown(y.m);
  }
  int64_t p = x.m * y.m;
  for (int i = 0; i < 15; ++i) p = HalveDown(p);  // dispose of the extra bits
  return Finish(p, x.e + y.e);
}

FloatOut Negate(Reg40 a) {
  const Wide x = Explicit(a);
  return x.zero ? Finish(0, 0) : Finish(-x.m, x.e);
}

FloatOut Absolute(Reg40 a) {
  const Wide x = Explicit(a);
  return x.zero ? Finish(0, 0) : Finish(x.m < 0 ? -x.m : x.m, x.e);
}

FloatOut Normalize(Reg40 a) {
  // The mantissa word is taken as it stands: the implied bit equals the sign.
  // With exponent -128 and a mantissa other than 0 the result underflows:
  // dst = 0, Z = 0, UF = 1, as the NORM page says.
  if (a.man == 0) return Finish(0, 0);
  return Finish(static_cast<int32_t>(a.man), a.exp);
}

FloatOut Round(Reg40 a) {
  FloatOut out;
  out.zKept = true;
  const Wide x = Explicit(a);
  if (x.zero) {  // sets UF instead of Z
    out.uf = true;
    return out;
  }
  int64_t m = x.m + 128;  // half of the single-precision LSB
  int e = x.e;
  if (m >= kTwo32) {
    m = HalveDown(m);
    ++e;
  }
  m -= m & 0xFF;  // clear the 8 LSBs
  out = Finish(m, e);
  out.zKept = true;
  if (out.v && !out.n) out.value.man = 0x7FFFFF00u;  // most positive single precision
  return out;
}

FloatOut FromInteger(int32_t i) {
  return Finish(i, 31);
}

FixOut ToInteger(Reg40 a) {
  const Wide x = Explicit(a);
  if (x.zero) return {};
  if (x.e > 30) return {x.m < 0 ? INT32_MIN : INT32_MAX, true};
  int64_t m = x.m;
  for (int rs = 31 - x.e; rs > 0 && m != 0 && m != -1; --rs) m = HalveDown(m);
  return {static_cast<int32_t>(m), false};
}

// --- instructions, chapter 13 ------------------------------------------------
namespace {

bool Condition(unsigned code, uint32_t st) {
  const bool c = st & C, v = st & V, z = st & Z, n = st & N, uf = st & UF, lv = st & LV,
             luf = st & LUF;
  const bool table[21] = {true,  c,  c || z, !c && !z, !c, z,   !z, n,    n || z, !n && !z, !n,
                          false, !v, v,      !uf,      uf, !lv, lv, !luf, luf,    z || uf};
  if (code > 20 || code == 11) Unsupported("condition " + std::to_string(code));
  return table[code];
}

uint32_t Ar24Add(uint32_t ar, int64_t step) {
  return (ar & 0xFF000000u) | (static_cast<uint32_t>(ar + step) & 0xFFFFFFu);
}

uint32_t IndirectAddress(Machine& m, const c3x::Operand& o) {
  uint32_t& ar = m.other[8 + o.ar];
  if (o.mod == 0x18) return ar & 0xFFFFFF;
  if (o.mod > 0x17 || (o.mod & 7) >= 6) Unsupported("indirect mode " + std::to_string(o.mod));
  const int64_t step = o.mod < 8 ? o.disp : o.mod < 16 ? m.other[17] : m.other[18];
  uint32_t address = 0;
  switch (o.mod & 7) {
    case 0:
      return (ar + static_cast<uint32_t>(step)) & 0xFFFFFF;
    case 1:
      return (ar - static_cast<uint32_t>(step)) & 0xFFFFFF;
    case 2:
      ar = Ar24Add(ar, step);
      return ar & 0xFFFFFF;
    case 3:
      ar = Ar24Add(ar, -step);
      return ar & 0xFFFFFF;
    case 4:
      address = ar & 0xFFFFFF;
      ar = Ar24Add(ar, step);
      return address;
    default:
      address = ar & 0xFFFFFF;
      ar = Ar24Add(ar, -step);
      return address;
  }
}

uint32_t OperandAddress(Machine& m, const c3x::Operand& o) {
  if (o.mode == AddrMode::Direct) return ((m.other[16] & 0xFF) << 16) | o.raw;
  return IndirectAddress(m, o);
}

uint32_t IntOf(Machine& m, const c3x::Operand& o) {
  switch (o.mode) {
    case AddrMode::Register:
      return o.reg < 8 ? m.r[o.reg].man : m.other[o.reg];
    case AddrMode::Immediate:
      return static_cast<uint32_t>(o.value);
    case AddrMode::Direct:
    case AddrMode::Indirect:
      return m.Read(OperandAddress(m, o));
    default:
      Unsupported("integer operand");
  }
}

Reg40 SingleWord(uint32_t w) {
  return {static_cast<int8_t>(w >> 24), (w & 0xFFFFFF) << 8};
}

Reg40 FloatOf(Machine& m, const c3x::Operand& o) {
  switch (o.mode) {
    case AddrMode::Register:
      return m.r[o.reg];
    case AddrMode::Immediate: {  // short format: 4-bit exponent, sign, 11-bit fraction
      int e = (o.raw >> 12) & 0xF;
      if (e >= 8) e -= 16;
      if (e == -8) return {};
      return {e, (static_cast<uint32_t>(o.raw) & 0xFFF) << 20};
    }
    case AddrMode::Direct:
    case AddrMode::Indirect:
      return SingleWord(m.Read(OperandAddress(m, o)));
    default:
      Unsupported("float operand");
  }
}

uint32_t SingleOf(Reg40 r) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(r.exp)) << 24) | (r.man >> 8);
}

// Integer results as chapter 13 describes them, from exact arithmetic.
struct IntOut {
  uint32_t v = 0;
  bool overflow = false;
  int carry = -1;          // -1: C unaffected
  bool saturable = false;  // OVM applies
  int64_t exact = 0;       // the true result, for the direction of saturation
};

int64_t S32(uint32_t x) {
  return static_cast<int32_t>(x);
}

IntOut Shift(uint32_t value, uint32_t countWord, bool arithmetic) {
  int count = countWord & 0x7F;
  if (count >= 64) count -= 128;
  IntOut o;
  o.v = value;
  o.carry = 0;
  for (int i = 0; i < count; ++i) {  // one bit at a time, through C
    if (arithmetic && ((o.v >> 31) != ((o.v >> 30) & 1))) o.overflow = true;
    o.carry = o.v >> 31;
    o.v <<= 1;
  }
  for (int i = 0; i < -count; ++i) {
    o.carry = o.v & 1;
    o.v = arithmetic ? (o.v >> 1) | (o.v & 0x80000000u) : o.v >> 1;
  }
  return o;
}

IntOut Integer(Op op, uint32_t a, uint32_t b, uint32_t st) {
  const int64_t cin = (st & C) ? 1 : 0;
  IntOut o;
  auto arith = [&](int64_t exact, uint64_t unsignedExact, bool borrow) {
    o.exact = exact;
    o.v = static_cast<uint32_t>(exact);
    o.overflow = exact > INT32_MAX || exact < INT32_MIN;
    o.carry = borrow ? unsignedExact >> 63 : unsignedExact >> 32;
    o.saturable = true;
  };
  switch (op) {
    case Op::ADDI:
    case Op::ADDI3:
      arith(S32(a) + S32(b), uint64_t{a} + b, false);
      break;
    case Op::ADDC:
    case Op::ADDC3:
      arith(S32(a) + S32(b) + cin, uint64_t{a} + b + cin, false);
      break;
    case Op::SUBI:
    case Op::SUBI3:
    case Op::CMPI:
    case Op::CMPI3:
      arith(S32(a) - S32(b), uint64_t{a} - b, true);
      break;
    case Op::SUBB:
    case Op::SUBB3:
      arith(S32(a) - S32(b) - cin, uint64_t{a} - b - cin, true);
      break;
    case Op::MPYI:
    case Op::MPYI3: {
      const int64_t x = S32(a << 8) / 256, y = S32(b << 8) / 256;  // 24-bit operands
      o.exact = x * y;
      o.v = static_cast<uint32_t>(o.exact);
      o.overflow = o.exact > INT32_MAX || o.exact < INT32_MIN;
      o.saturable = true;
      break;
    }
    case Op::ASH:
    case Op::ASH3:
      o = Shift(a, b, true);
      break;
    case Op::LSH:
    case Op::LSH3:
      o = Shift(a, b, false);
      break;
    case Op::AND:
    case Op::AND3:
    case Op::TSTB:
    case Op::TSTB3:
      o.v = a & b;
      break;
    case Op::OR:
    case Op::OR3:
      o.v = a | b;
      break;
    case Op::XOR:
    case Op::XOR3:
      o.v = a ^ b;
      break;
    case Op::ANDN:
    case Op::ANDN3:
      o.v = a & ~b;
      break;
    default:
      Unsupported("integer operation " + std::to_string(static_cast<int>(op)));
  }
  return o;
}

void IntFlags(Machine& m, const IntOut& o, uint32_t v) {
  uint32_t& st = m.st();
  st &= ~(N | Z | V | UF);
  if (v >> 31) st |= N;
  if (v == 0) st |= Z;
  if (o.overflow) st |= V | LV;
  if (o.carry >= 0) st = (st & ~C) | (o.carry ? C : 0);
}

// dst <- result of an integer operation, flags only for R0-R7.
void IntWrite(Machine& m, unsigned dst, const IntOut& o) {
  uint32_t v = o.v;
  if (o.saturable && o.overflow && (m.st() & OVM)) v = o.exact < 0 ? 0x80000000u : 0x7FFFFFFFu;
  if (dst < 8) {
    m.r[dst].man = v;
    IntFlags(m, o, v);
  } else {
    m.other[dst] = v;
  }
}

void FloatFlags(Machine& m, const FloatOut& f) {
  uint32_t& st = m.st();
  st &= ~(N | V | UF | (f.zKept ? 0u : uint32_t{Z}));
  if (f.n) st |= N;
  if (f.z && !f.zKept) st |= Z;
  if (f.v) st |= V | LV;
  if (f.uf) st |= UF | LUF;
}

FloatOut LoadOut(Reg40 f) {
  FloatOut out;
  out.value = f;
  out.z = f.exp == -128;
  out.n = !out.z && (f.man >> 31);
  return out;
}

FloatOut FloatOp(Op op, Reg40 a, Reg40 b) {
  switch (op) {
    case Op::ADDF:
    case Op::ADDF3:
      return Add(a, b);
    case Op::SUBF:
    case Op::SUBF3:
    case Op::CMPF:
    case Op::CMPF3:
      return Subtract(a, b);
    case Op::SUBRF:
      return Subtract(b, a);
    case Op::MPYF:
    case Op::MPYF3:
      return Multiply(a, b);
    default:
      Unsupported("float operation");
  }
}

FloatOut Unary(Op op, Reg40 a, uint32_t word) {
  switch (op) {
    case Op::ABSF:
      return Absolute(a);
    case Op::NEGF:
      return Negate(a);
    case Op::NORM:
      return Normalize(a);
    case Op::RND:
      return Round(a);
    case Op::FLOAT:
      return FromInteger(static_cast<int32_t>(word));
    case Op::LDF:
      return LoadOut(a);
    default:
      Unsupported("unary float operation");
  }
}

// One half of a parallel word, computed from values read before either writes.
struct Half {
  bool toReg = false, toMem = false, isFloat = false;
  unsigned reg = 0;
  uint32_t address = 0, word = 0;
  Reg40 f;
  FloatOut flags;  // N Z V UF
  int carry = -1;
};

void Parallel(Machine& m, const c3x::DecodedInsn& d) {
  const c3x::ParallelInfo* info = c3x::ParallelInfoOf(d.op);
  if (!info) Unsupported("parallel form");
  struct Read {
    uint32_t ia = 0, ib = 0;
    Reg40 fa, fb;
    uint32_t dstAddress = 0;
  } in[2];
  for (int i = 0; i < 2; ++i) {  // every operand is read (and every AR updated) first
    const c3x::ParallelPart& p = d.parallel[i];
    auto read = [&](const c3x::Operand& o, uint32_t& w, Reg40& f) {
      if (o.mode == AddrMode::Register) {
        w = o.reg < 8 ? m.r[o.reg].man : m.other[o.reg];
        if (o.reg < 8) f = m.r[o.reg];
      } else if (o.mode == AddrMode::Indirect) {
        w = m.Read(IndirectAddress(m, o));
        f = SingleWord(w);
      }
    };
    read(p.a, in[i].ia, in[i].fa);
    read(p.b, in[i].ib, in[i].fb);
    if (p.dst.mode == AddrMode::Indirect) in[i].dstAddress = IndirectAddress(m, p.dst);
  }
  Half out[2];
  for (int i = 0; i < 2; ++i) {
    const c3x::ParallelPart& p = d.parallel[i];
    Half& h = out[i];
    h.reg = p.dst.reg;
    h.address = in[i].dstAddress;
    auto asInt = [&](IntOut o) {
      h.toReg = true;
      uint32_t v = o.v;
      if (o.saturable && o.overflow && (m.st() & OVM)) v = o.exact < 0 ? 0x80000000u : 0x7FFFFFFFu;
      h.word = v;
      h.flags.n = v >> 31;
      h.flags.z = v == 0;
      h.flags.v = o.overflow;
      h.carry = o.carry;
    };
    auto asFloat = [&](FloatOut f) {
      h.toReg = h.isFloat = true;
      h.f = f.value;
      h.flags = f;
    };
    switch (p.op) {
      case Op::STI:
        h.toMem = true;
        h.word = in[i].ia;
        break;
      case Op::STF:
        h.toMem = true;
        h.word = SingleOf(in[i].fa);
        break;
      case Op::LDI: {
        IntOut o;
        o.v = in[i].ia;
        asInt(o);
        break;
      }
      case Op::LDF:
      case Op::ABSF:
      case Op::NEGF:
      case Op::FLOAT:
        asFloat(Unary(p.op, in[i].fa, in[i].ia));
        break;
      case Op::FIX: {
        const FixOut x = ToInteger(in[i].fa);
        IntOut o;
        o.v = static_cast<uint32_t>(x.value);
        o.overflow = x.v;
        asInt(o);
        break;
      }
      case Op::ABSI: {
        IntOut o;
        o.exact = S32(in[i].ia) < 0 ? -S32(in[i].ia) : S32(in[i].ia);
        o.v = static_cast<uint32_t>(o.exact);
        o.overflow = o.exact > INT32_MAX;
        o.saturable = true;
        asInt(o);
        break;
      }
      case Op::NEGI:
        asInt(Integer(Op::SUBI, 0, in[i].ia, m.st()));
        break;
      case Op::NOT: {
        IntOut o;
        o.v = ~in[i].ia;
        asInt(o);
        break;
      }
      case Op::ADDF3:
      case Op::SUBF3:
      case Op::MPYF3:
        asFloat(FloatOp(p.op, in[i].fb, in[i].fa));  // b OP a
        break;
      default:
        asInt(Integer(p.op, in[i].ib, in[i].ia, m.st()));
        break;
    }
  }
  int flagHalf = -1;
  if (info->kind == c3x::ParallelKind::MultiplyAdd) flagHalf = 1;
  if (info->kind == c3x::ParallelKind::UnaryStore || info->kind == c3x::ParallelKind::ThreeOpStore)
    flagHalf = 0;
  const bool anyV = (out[0].toReg && out[0].flags.v) || (out[1].toReg && out[1].flags.v);
  const bool anyUf = (out[0].toReg && out[0].flags.uf) || (out[1].toReg && out[1].flags.uf);
  for (const Half& h : out) {
    if (!h.toReg) continue;
    if (h.isFloat)
      m.r[h.reg] = h.f;
    else
      m.r[h.reg].man = h.word;
  }
  if (flagHalf >= 0) {
    FloatFlags(m, out[flagHalf].flags);
    if (out[flagHalf].carry >= 0) m.st() = (m.st() & ~C) | (out[flagHalf].carry ? C : 0);
    if (anyV) m.st() |= LV;
    if (anyUf) m.st() |= LUF;
  }
  for (const Half& h : out)
    if (h.toMem) m.memory[h.address] = h.word;
}

}  // namespace

void Step(Machine& m) {
  const uint32_t pc = m.pc;
  const c3x::DecodedInsn d = c3x::Decode(m.Read(pc));
  const bool inDelaySlot = m.delayLeft > 0;
  bool jumped = false;
  m.pc = (pc + 1) & 0xFFFFFF;
  uint32_t& st = m.st();
  auto relative = [&](bool delayed) {
    return static_cast<uint32_t>(pc + (delayed ? 3 : 1) + d.displacement) & 0xFFFFFF;
  };
  auto target = [&](bool delayed) {
    return d.pcRelative ? relative(delayed) : IntOf(m, d.src) & 0xFFFFFF;
  };
  auto delay = [&](bool taken, uint32_t to) {
    m.delayLeft = 3;
    m.delayTaken = taken;
    m.delayTarget = to;
  };

  if (d.format == c3x::Format::Parallel && d.parallelValid) {
    Parallel(m, d);
  } else if (!d.supported) {
    Unsupported("word " + std::to_string(d.word));
  } else {
    switch (d.op) {
      case Op::ADDI:
      case Op::ADDC:
      case Op::SUBI:
      case Op::SUBB:
      case Op::MPYI:
      case Op::ASH:
      case Op::LSH:
      case Op::AND:
      case Op::OR:
      case Op::XOR:
      case Op::ANDN: {
        const uint32_t b = IntOf(m, d.src);
        IntWrite(m, d.dst, Integer(d.op, d.dst < 8 ? m.r[d.dst].man : m.other[d.dst], b, st));
        break;
      }
      case Op::SUBRI: {
        const uint32_t b = IntOf(m, d.src);
        IntWrite(m, d.dst, Integer(Op::SUBI, b, d.dst < 8 ? m.r[d.dst].man : m.other[d.dst], st));
        break;
      }
      case Op::CMPI:
      case Op::TSTB: {
        const uint32_t b = IntOf(m, d.src);
        const IntOut o = Integer(d.op, d.dst < 8 ? m.r[d.dst].man : m.other[d.dst], b, st);
        IntFlags(m, o, o.v);
        break;
      }
      case Op::ADDI3:
      case Op::ADDC3:
      case Op::SUBI3:
      case Op::SUBB3:
      case Op::MPYI3:
      case Op::ASH3:
      case Op::LSH3:
      case Op::AND3:
      case Op::OR3:
      case Op::XOR3:
      case Op::ANDN3:
      case Op::CMPI3:
      case Op::TSTB3: {
        const uint32_t src2 = IntOf(m, d.src), src1 = IntOf(m, d.src1);
        const IntOut o = Integer(d.op, src1, src2, st);
        if (d.hasDst)
          IntWrite(m, d.dst, o);
        else
          IntFlags(m, o, o.v);
        break;
      }
      case Op::NEGI:
        IntWrite(m, d.dst, Integer(Op::SUBI, 0, IntOf(m, d.src), st));
        break;
      case Op::LDI: {
        const uint32_t v = IntOf(m, d.src);
        IntOut o;
        o.v = v;
        IntWrite(m, d.dst, o);
        break;
      }
      case Op::LDIcond: {
        const uint32_t v = IntOf(m, d.src);  // the operand (and its AR update) regardless
        if (Condition(d.cond, st)) {
          if (d.dst < 8)
            m.r[d.dst].man = v;
          else
            m.other[d.dst] = v;
        }
        break;
      }
      case Op::LDFcond: {
        const Reg40 v = FloatOf(m, d.src);
        if (Condition(d.cond, st)) m.r[d.dst] = v;
        break;
      }
      case Op::ADDF:
      case Op::SUBF:
      case Op::SUBRF:
      case Op::MPYF: {
        const FloatOut f = FloatOp(d.op, m.r[d.dst], FloatOf(m, d.src));
        m.r[d.dst] = f.value;
        FloatFlags(m, f);
        break;
      }
      case Op::CMPF:
        FloatFlags(m, FloatOp(d.op, m.r[d.dst], FloatOf(m, d.src)));
        break;
      case Op::ADDF3:
      case Op::SUBF3:
      case Op::MPYF3:
      case Op::CMPF3: {
        const Reg40 src2 = FloatOf(m, d.src), src1 = FloatOf(m, d.src1);
        const FloatOut f = FloatOp(d.op, src1, src2);
        if (d.op != Op::CMPF3) m.r[d.dst] = f.value;
        FloatFlags(m, f);
        break;
      }
      case Op::ABSF:
      case Op::NEGF:
      case Op::NORM:
      case Op::RND:
      case Op::LDF:
      case Op::FLOAT: {
        const bool integer = d.op == Op::FLOAT;
        const uint32_t w = integer ? IntOf(m, d.src) : 0;
        const FloatOut f = Unary(d.op, integer ? Reg40{} : FloatOf(m, d.src), w);
        m.r[d.dst] = f.value;
        FloatFlags(m, f);
        break;
      }
      case Op::FIX: {
        const FixOut x = ToInteger(FloatOf(m, d.src));
        const uint32_t v = static_cast<uint32_t>(x.value);
        if (d.dst < 8) {
          m.r[d.dst].man = v;
          st &= ~(N | Z | V | UF);
          if (v >> 31) st |= N;
          if (v == 0) st |= Z;
          if (x.v) st |= V | LV;
        } else {
          m.other[d.dst] = v;
        }
        break;
      }
      case Op::STI:
        m.memory[OperandAddress(m, d.src)] = d.dst < 8 ? m.r[d.dst].man : m.other[d.dst];
        break;
      case Op::STF:
        m.memory[OperandAddress(m, d.src)] = SingleOf(m.r[d.dst]);
        break;
      case Op::NOP:
        if (d.src.mode == AddrMode::Indirect) IndirectAddress(m, d.src);
        break;
      case Op::RPTS:  // a one-instruction block repeat
        m.other[27] = IntOf(m, d.src);
        m.other[25] = m.other[26] = m.pc;
        st |= RM;
        break;
      case Op::RPTB:
        m.other[25] = m.pc;
        m.other[26] = d.address & 0xFFFFFF;
        st |= RM;
        break;
      case Op::BR:
        m.pc = d.address & 0xFFFFFF;
        jumped = true;
        break;
      case Op::BRD:
        delay(true, d.address & 0xFFFFFF);
        break;
      case Op::Bcond:
        if (Condition(d.cond, st)) {
          m.pc = target(false);
          jumped = true;
        }
        break;
      case Op::BcondD:
        delay(Condition(d.cond, st), target(true));
        break;
      case Op::DBcond:
      case Op::DBcondD: {
        const uint32_t to = target(d.delayed);
        uint32_t& ar = m.other[8 + d.dst];
        ar = Ar24Add(ar, -1);
        const bool taken = Condition(d.cond, st) && !(ar & 0x800000);  // 24-bit counter >= 0
        if (d.delayed) {
          delay(taken, to);
        } else if (taken) {
          m.pc = to;
          jumped = true;
        }
        break;
      }
      default:
        Unsupported(c3x::MnemonicText(d));
    }
  }
  ++m.steps;
  if (inDelaySlot && --m.delayLeft == 0 && m.delayTaken) {
    m.pc = m.delayTarget;
    jumped = true;
  }
  // Block repeat: after the last instruction of the block, RC counts down.
  if ((st & RM) && !jumped && pc == m.other[26]) {
    m.other[27] -= 1;
    if (static_cast<int32_t>(m.other[27]) >= 0)
      m.pc = m.other[25];
    else
      st &= ~RM;
  }
}

}  // namespace velmora::sim::guide
