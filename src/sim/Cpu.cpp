#include "sim/Cpu.h"

#include <cstdio>
#include <cstring>

namespace velmora::sim {

using c3x::AddrMode;
using c3x::DecodedInsn;
using c3x::Format;
using c3x::Op;
using c3x::Operand;

namespace {

constexpr uint32_t kCpuInterruptMask = 0x0FFF;  // IF bits 0-11 reach the CPU
constexpr uint32_t kIntFlagMask = kStN | kStZ | kStV | kStUF;

bool SameRegisters(const Registers& a, const Registers& b) {
  for (int i = 0; i < 8; ++i)
    if (!(a.r[i] == b.r[i]) || a.ar[i] != b.ar[i]) return false;
  return a.dp == b.dp && a.ir0 == b.ir0 && a.ir1 == b.ir1 && a.bk == b.bk && a.sp == b.sp &&
         a.st == b.st && a.ie == b.ie && a.ifr == b.ifr && a.iof == b.iof && a.rs == b.rs &&
         a.re == b.re && a.rc == b.rc && a.pc == b.pc;
}

uint32_t BitReverse24(uint32_t v) {
  uint32_t r = 0;
  for (int i = 0; i < 24; ++i) r |= ((v >> i) & 1u) << (23 - i);
  return r;
}

int32_t ShiftCount(uint32_t src) {
  // Seven bits, two's complement: -64 .. +63.
  int32_t c = static_cast<int32_t>(src & 0x7F);
  return (c & 0x40) ? c - 128 : c;
}

}  // namespace

// Instruction semantics. A friend of Cpu so that handlers reach the registers
// directly.
struct Exec {
  static Registers& R(Cpu& c) { return c.regs_; }

  static bool Cond(unsigned code, uint32_t st) {
    const bool C = st & kStC, V = st & kStV, Z = st & kStZ, N = st & kStN, UF = st & kStUF,
               LV = st & kStLV, LUF = st & kStLUF;
    switch (code) {
      case 0:
        return true;
      case 1:
        return C;
      case 2:
        return C || Z;
      case 3:
        return !C && !Z;
      case 4:
        return !C;
      case 5:
        return Z;
      case 6:
        return !Z;
      case 7:
        return N;
      case 8:
        return N || Z;
      case 9:
        return !N && !Z;
      case 10:
        return !N;
      case 12:
        return !V;
      case 13:
        return V;
      case 14:
        return !UF;
      case 15:
        return UF;
      case 16:
        return !LV;
      case 17:
        return LV;
      case 18:
        return !LUF;
      case 19:
        return LUF;
      case 20:
        return Z || UF;
      default:
        return false;
    }
  }

  // Auxiliary-register arithmetic works on the 24-bit address part.
  static uint32_t ArAdd(uint32_t ar, int32_t step) {
    return (ar & 0xFF000000u) | ((ar + static_cast<uint32_t>(step)) & 0xFFFFFFu);
  }

  static uint32_t Circular(const Registers& r, uint32_t ar, int32_t step) {
    const uint32_t bk = r.bk & 0xFFFF;
    if (bk == 0) return ArAdd(ar, step);
    uint32_t size = 1;
    while (size <= bk) size <<= 1;  // smallest power of two above BK
    const uint32_t base = ar & ~(size - 1);
    int64_t index = static_cast<int64_t>(ar & (size - 1)) + step;
    if (index >= static_cast<int64_t>(bk))
      index -= bk;
    else if (index < 0)
      index += bk;
    return (base & 0xFFFFFFu) | (ar & 0xFF000000u) | static_cast<uint32_t>(index);
  }

  static uint32_t Indirect(Cpu& c, const Operand& o) {
    Registers& r = c.regs_;
    uint32_t& ar = r.ar[o.ar];
    const unsigned mod = o.mod;
    if (mod == c3x::kModPlain) return ar & Cpu::kAddressMask;
    if (mod == c3x::kModBitReversed) {
      const uint32_t addr = ar & Cpu::kAddressMask;
      const uint32_t sum = BitReverse24(ar) + BitReverse24(r.ir0);
      ar = (ar & 0xFF000000u) | BitReverse24(sum & 0xFFFFFF);
      return addr;
    }
    const int32_t disp =
        mod < 8 ? static_cast<int32_t>(o.disp) : static_cast<int32_t>(mod < 16 ? r.ir0 : r.ir1);
    uint32_t addr = 0;
    switch (mod & 7) {
      case 0:
        addr = ar + disp;
        break;
      case 1:
        addr = ar - disp;
        break;
      case 2:
        ar = ArAdd(ar, disp);
        addr = ar;
        break;
      case 3:
        ar = ArAdd(ar, -disp);
        addr = ar;
        break;
      case 4:
        addr = ar;
        ar = ArAdd(ar, disp);
        break;
      case 5:
        addr = ar;
        ar = ArAdd(ar, -disp);
        break;
      case 6:
        addr = ar;
        ar = Circular(r, ar, disp);
        break;
      case 7:
        addr = ar;
        ar = Circular(r, ar, -disp);
        break;
    }
    return addr & Cpu::kAddressMask;
  }

  static uint32_t Address(Cpu& c, const Operand& o) {
    if (o.mode == AddrMode::Direct) return ((c.regs_.dp & 0xFF) << 16) | o.raw;
    return Indirect(c, o);
  }

  static uint32_t SrcInt(Cpu& c, const Operand& o) {
    switch (o.mode) {
      case AddrMode::Register:
        return c.RegInt(o.reg);
      case AddrMode::Immediate:
        return static_cast<uint32_t>(o.value);
      default:
        return c.Read(Address(c, o));
    }
  }

  static ExtFloat SrcFloat(Cpu& c, const Operand& o) {
    switch (o.mode) {
      case AddrMode::Register:
        return c.regs_.r[o.reg];
      case AddrMode::Immediate:
        return FromShort(o.raw);
      default:
        return FromSingle(c.Read(Address(c, o)));
    }
  }

  // Flags of an integer result; only for R0-R7 destinations and compares.
  static void IntFlags(Cpu& c, uint32_t v, bool overflow, bool carry, bool setCarry) {
    uint32_t st = c.regs_.st & ~kIntFlagMask;
    if (setCarry) st = (st & ~kStC) | (carry ? uint32_t{kStC} : 0u);
    if (v & 0x80000000u) st |= kStN;
    if (v == 0) st |= kStZ;
    if (overflow) st |= kStV | kStLV;
    c.regs_.st = st;
  }

  static void FloatFlagsToSt(Cpu& c, const FloatFlags& f) {
    uint32_t st = c.regs_.st & ~(f.keepZ ? kIntFlagMask & ~kStZ : kIntFlagMask);
    if (f.n) st |= kStN;
    if (f.z) st |= kStZ;
    if (f.v) st |= kStV | kStLV;
    if (f.uf) st |= kStUF | kStLUF;
    c.regs_.st = st;
  }

  // dst <- value with the flags of an integer operation.
  static void IntResult(Cpu& c, unsigned dst, uint32_t v, bool overflow, bool carry,
                        bool setCarry) {
    if (dst < 8) {
      c.regs_.r[dst].man = v;
      IntFlags(c, v, overflow, carry, setCarry);
    } else {
      c.SetRegInt(dst, v);
    }
  }

  static void Push(Cpu& c, uint32_t v) {
    c.regs_.sp = c.regs_.sp + 1;
    c.Write(c.regs_.sp, v);
  }
  static uint32_t Pop(Cpu& c) {
    const uint32_t v = c.Read(c.regs_.sp);
    c.regs_.sp = c.regs_.sp - 1;
    return v;
  }

  // --- integer arithmetic cores -------------------------------------------
  enum class IntOp : uint8_t { Add, AddC, Sub, SubB, Mpy, And, AndN, Or, Xor, Ash, Lsh };

  struct IntOut {
    uint32_t v;
    bool overflow;
    bool carry;
    bool setCarry;
    // Under OVM an overflowing result becomes the largest integer of the true
    // result's sign; the shifts are not affected by OVM.
    bool ovm = false;
    bool trueNegative = false;
  };

  static uint32_t Saturate(Cpu& c, const IntOut& o) {
    if (!o.overflow || !o.ovm || !(c.regs_.st & kStOVM)) return o.v;
    return o.trueNegative ? 0x80000000u : 0x7FFFFFFFu;
  }
  static void IntResult(Cpu& c, unsigned dst, const IntOut& o) {
    IntResult(c, dst, Saturate(c, o), o.overflow, o.carry, o.setCarry);
  }

  // a op b with a = the destination/src1 side, b = the source/src2 side.
  static IntOut IntCompute(Cpu& c, IntOp op, uint32_t a, uint32_t b) {
    const bool cin = c.regs_.st & kStC;
    switch (op) {
      case IntOp::Add:
      case IntOp::AddC: {
        const uint64_t sum = uint64_t{a} + b + (op == IntOp::AddC && cin ? 1 : 0);
        const uint32_t v = static_cast<uint32_t>(sum);
        const bool ov = (~(a ^ b) & (a ^ v)) & 0x80000000u;
        // On overflow the true sum has the operands' common sign.
        return {v, ov, (sum >> 32) != 0, true, true, (a & 0x80000000u) != 0};
      }
      case IntOp::Sub:
      case IntOp::SubB: {
        const uint64_t sub = uint64_t{b} + (op == IntOp::SubB && cin ? 1 : 0);
        const uint32_t v = static_cast<uint32_t>(uint64_t{a} - sub);
        const bool ov = ((a ^ b) & (a ^ v)) & 0x80000000u;
        // On overflow the true difference has the sign of the minuend.
        return {v, ov, uint64_t{a} < sub, true, true, (a & 0x80000000u) != 0};
      }
      case IntOp::Mpy: {
        // 24 x 24-bit signed multiply; the low 32 bits of the 48-bit product.
        const int64_t x = static_cast<int32_t>(a << 8) >> 8;
        const int64_t y = static_cast<int32_t>(b << 8) >> 8;
        const int64_t p = x * y;
        return {
            static_cast<uint32_t>(p), p > INT32_MAX || p < INT32_MIN, false, false, true, p < 0};
      }
      case IntOp::And:
        return {a & b, false, false, false};
      case IntOp::AndN:
        return {a & ~b, false, false, false};
      case IntOp::Or:
        return {a | b, false, false, false};
      case IntOp::Xor:
        return {a ^ b, false, false, false};
      case IntOp::Ash:
      case IntOp::Lsh: {
        // a is shifted by the count in b.
        const int32_t n = ShiftCount(b);
        if (n == 0) return {a, false, false, true};
        if (n > 0) {
          const uint32_t v = n >= 32 ? 0 : a << n;
          const bool carry = n <= 32 && ((a >> (32 - n)) & 1u);
          // An arithmetic left shift overflows when the result is not a * 2^n.
          const bool ov = op == IntOp::Ash && a != 0 &&
                          (n >= 32 || (static_cast<int64_t>(static_cast<int32_t>(a)) << n) !=
                                          static_cast<int32_t>(v));
          return {v, ov, carry, true};
        }
        const int s = -n;
        uint32_t v;
        if (op == IntOp::Ash) {
          v = static_cast<uint32_t>(static_cast<int32_t>(a) >> (s >= 32 ? 31 : s));
        } else {
          v = s >= 32 ? 0 : a >> s;
        }
        const bool carry =
            s <= 32 ? ((a >> (s - 1)) & 1u) : (op == IntOp::Ash && (a & 0x80000000u));
        return {v, false, carry, true};
      }
    }
    return {0, false, false, false};
  }

  template <IntOp kOp>
  static void GenInt(Cpu& c, const Cpu::Slot& s) {
    const uint32_t b = SrcInt(c, s.d.src);
    IntResult(c, s.d.dst, IntCompute(c, kOp, c.RegInt(s.d.dst), b));
  }

  // Reverse subtract: dst <- src - dst.
  template <IntOp kOp>
  static void GenIntReverse(Cpu& c, const Cpu::Slot& s) {
    const uint32_t b = SrcInt(c, s.d.src);
    IntResult(c, s.d.dst, IntCompute(c, kOp, b, c.RegInt(s.d.dst)));
  }

  template <IntOp kOp>
  static void ThreeInt(Cpu& c, const Cpu::Slot& s) {
    const uint32_t b = SrcInt(c, s.d.src);   // src2
    const uint32_t a = SrcInt(c, s.d.src1);  // src1
    const IntOut o = IntCompute(c, kOp, a, b);
    if (s.d.hasDst) {
      IntResult(c, s.d.dst, o);
    } else {
      IntFlags(c, o.v, o.overflow, o.carry, o.setCarry);
    }
  }

  static void CmpI(Cpu& c, const Cpu::Slot& s) {
    const uint32_t b = SrcInt(c, s.d.src);
    const IntOut o = IntCompute(c, IntOp::Sub, c.RegInt(s.d.dst), b);
    IntFlags(c, o.v, o.overflow, o.carry, true);
  }
  static void TstB(Cpu& c, const Cpu::Slot& s) {
    const uint32_t b = SrcInt(c, s.d.src);
    IntFlags(c, c.RegInt(s.d.dst) & b, false, false, false);
  }

  static void Ldi(Cpu& c, const Cpu::Slot& s) {
    const uint32_t v = SrcInt(c, s.d.src);
    if (s.d.dst < 8) {
      c.regs_.r[s.d.dst].man = v;
      IntFlags(c, v, false, false, false);
    } else {
      c.SetRegInt(s.d.dst, v);
    }
  }
  static void LdiCond(Cpu& c, const Cpu::Slot& s) {
    const uint32_t v = SrcInt(c, s.d.src);  // the address update happens regardless
    if (Cond(s.d.cond, c.regs_.st)) c.SetRegInt(s.d.dst, v);
  }
  static void NegI(Cpu& c, const Cpu::Slot& s) {
    IntResult(c, s.d.dst, IntCompute(c, IntOp::Sub, 0, SrcInt(c, s.d.src)));
  }
  static void NegB(Cpu& c, const Cpu::Slot& s) {
    IntResult(c, s.d.dst, IntCompute(c, IntOp::SubB, 0, SrcInt(c, s.d.src)));
  }
  static void AbsI(Cpu& c, const Cpu::Slot& s) {
    const uint32_t v = SrcInt(c, s.d.src);
    const bool ov = v == 0x80000000u;
    const uint32_t r = (v & 0x80000000u) ? 0u - v : v;
    IntResult(c, s.d.dst, ov && (c.regs_.st & kStOVM) ? 0x7FFFFFFFu : r, ov, false, false);
  }
  static void Not(Cpu& c, const Cpu::Slot& s) {
    IntResult(c, s.d.dst, ~SrcInt(c, s.d.src), false, false, false);
  }
  static void SubC(Cpu& c, const Cpu::Slot& s) {
    const uint32_t src = SrcInt(c, s.d.src);
    const uint32_t dst = c.RegInt(s.d.dst);
    const uint32_t v = dst >= src ? ((dst - src) << 1) | 1u : dst << 1;
    c.SetRegInt(s.d.dst, v);
  }

  enum class Rot : uint8_t { Rol, Ror, Rolc, Rorc };
  template <Rot kRot>
  static void Rotate(Cpu& c, const Cpu::Slot& s) {
    const uint32_t v = c.RegInt(s.d.dst);
    const uint32_t cin = (c.regs_.st & kStC) ? 1u : 0u;
    uint32_t r = 0;
    bool carry = false;
    switch (kRot) {
      case Rot::Rol:
        carry = v >> 31;
        r = (v << 1) | (v >> 31);
        break;
      case Rot::Ror:
        carry = v & 1u;
        r = (v >> 1) | (v << 31);
        break;
      case Rot::Rolc:
        carry = v >> 31;
        r = (v << 1) | cin;
        break;
      case Rot::Rorc:
        carry = v & 1u;
        r = (v >> 1) | (cin << 31);
        break;
    }
    IntResult(c, s.d.dst, r, false, carry, true);
  }

  static void PushI(Cpu& c, const Cpu::Slot& s) { Push(c, c.RegInt(s.d.dst)); }
  static void PushF(Cpu& c, const Cpu::Slot& s) { Push(c, ToSingle(c.regs_.r[s.d.dst])); }
  static void PopI(Cpu& c, const Cpu::Slot& s) {
    const uint32_t v = Pop(c);
    if (s.d.dst < 8) {
      c.regs_.r[s.d.dst].man = v;
      IntFlags(c, v, false, false, false);
    } else {
      c.SetRegInt(s.d.dst, v);
    }
  }
  static void PopF(Cpu& c, const Cpu::Slot& s) {
    const ExtFloat f = FromSingle(Pop(c));
    c.regs_.r[s.d.dst] = f;
    FloatFlagsToSt(c, LoadFlags(f));
  }

  static void StI(Cpu& c, const Cpu::Slot& s) {
    const uint32_t v = c.RegInt(s.d.dst);
    c.Write(Address(c, s.d.src), v);
  }
  static void StF(Cpu& c, const Cpu::Slot& s) {
    const uint32_t v = ToSingle(c.regs_.r[s.d.dst]);
    c.Write(Address(c, s.d.src), v);
  }

  // --- floating point -----------------------------------------------------
  static void SetFloat(Cpu& c, unsigned dst, const FloatResult& r) {
    c.regs_.r[dst] = r.value;
    FloatFlagsToSt(c, r.flags);
  }
  static void Ldf(Cpu& c, const Cpu::Slot& s) {
    const ExtFloat f = SrcFloat(c, s.d.src);
    c.regs_.r[s.d.dst] = f;
    FloatFlagsToSt(c, LoadFlags(f));
  }
  static void LdfCond(Cpu& c, const Cpu::Slot& s) {
    const ExtFloat f = SrcFloat(c, s.d.src);
    if (Cond(s.d.cond, c.regs_.st)) c.regs_.r[s.d.dst] = f;
  }
  static void Lde(Cpu& c, const Cpu::Slot& s) { c.regs_.r[s.d.dst].exp = SrcFloat(c, s.d.src).exp; }
  static void Ldm(Cpu& c, const Cpu::Slot& s) { c.regs_.r[s.d.dst].man = SrcFloat(c, s.d.src).man; }
  static void AddFg(Cpu& c, const Cpu::Slot& s) {
    SetFloat(c, s.d.dst, AddF(c.regs_.r[s.d.dst], SrcFloat(c, s.d.src)));
  }
  static void SubFg(Cpu& c, const Cpu::Slot& s) {
    SetFloat(c, s.d.dst, SubF(c.regs_.r[s.d.dst], SrcFloat(c, s.d.src)));
  }
  static void SubRFg(Cpu& c, const Cpu::Slot& s) {
    SetFloat(c, s.d.dst, SubF(SrcFloat(c, s.d.src), c.regs_.r[s.d.dst]));
  }
  static void MpyFg(Cpu& c, const Cpu::Slot& s) {
    SetFloat(c, s.d.dst, MpyF(c.regs_.r[s.d.dst], SrcFloat(c, s.d.src)));
  }
  static void CmpFg(Cpu& c, const Cpu::Slot& s) {
    FloatFlagsToSt(c, SubF(c.regs_.r[s.d.dst], SrcFloat(c, s.d.src)).flags);
  }
  static void AbsFg(Cpu& c, const Cpu::Slot& s) {
    SetFloat(c, s.d.dst, AbsF(SrcFloat(c, s.d.src)));
  }
  static void NegFg(Cpu& c, const Cpu::Slot& s) {
    SetFloat(c, s.d.dst, NegF(SrcFloat(c, s.d.src)));
  }
  static void RndG(Cpu& c, const Cpu::Slot& s) { SetFloat(c, s.d.dst, Rnd(SrcFloat(c, s.d.src))); }
  static void NormG(Cpu& c, const Cpu::Slot& s) {
    SetFloat(c, s.d.dst, Norm(SrcFloat(c, s.d.src)));
  }
  static void FloatG(Cpu& c, const Cpu::Slot& s) {
    SetFloat(c, s.d.dst, FloatOfInt(static_cast<int32_t>(SrcInt(c, s.d.src))));
  }
  static void FixG(Cpu& c, const Cpu::Slot& s) {
    const FixResult r = Fix(SrcFloat(c, s.d.src));
    if (s.d.dst < 8) {
      c.regs_.r[s.d.dst].man = static_cast<uint32_t>(r.value);
      FloatFlagsToSt(c, FloatFlags{r.n, r.z, r.v, false});
    } else {
      c.SetRegInt(s.d.dst, static_cast<uint32_t>(r.value));
    }
  }

  enum class FOp : uint8_t { Add, Sub, Mpy, Cmp };
  template <FOp kOp>
  static void ThreeFloat(Cpu& c, const Cpu::Slot& s) {
    const ExtFloat b = SrcFloat(c, s.d.src);   // src2
    const ExtFloat a = SrcFloat(c, s.d.src1);  // src1
    FloatResult r;
    switch (kOp) {
      case FOp::Add:
        r = AddF(a, b);
        break;
      case FOp::Sub:
      case FOp::Cmp:
        r = SubF(a, b);
        break;
      case FOp::Mpy:
        r = MpyF(a, b);
        break;
    }
    if (kOp == FOp::Cmp)
      FloatFlagsToSt(c, r.flags);
    else
      SetFloat(c, s.d.dst, r);
  }

  // --- control ------------------------------------------------------------
  static void Nop(Cpu& c, const Cpu::Slot& s) {
    if (s.d.src.mode == AddrMode::Indirect) Indirect(c, s.d.src);  // address update only
  }
  static void Iack(Cpu& c, const Cpu::Slot& s) { c.Read(Address(c, s.d.src)); }
  static void NoOp(Cpu&, const Cpu::Slot&) {}
  static void Idle(Cpu& c, const Cpu::Slot&) {
    c.regs_.st |= kStGIE;
    c.idle_ = true;
    c.RequestAttention();
  }
  static void Swi(Cpu& c, const Cpu::Slot&) {
    char text[96];
    std::snprintf(text, sizeof text, "Software interrupt (SWI) at 0x%06X: no emulator attached",
                  c.curPc_);
    c.Stop(text);
  }

  static void Rpts(Cpu& c, const Cpu::Slot& s) {
    c.regs_.rc = SrcInt(c, s.d.src);
    c.regs_.rs = c.regs_.pc;
    c.regs_.re = c.regs_.pc;
    c.regs_.st |= kStRM;
    c.rptsActive_ = true;
    c.rptsPc_ = c.regs_.pc;
    c.RequestAttention();
  }
  static void Rptb(Cpu& c, const Cpu::Slot& s) {
    c.regs_.rs = c.regs_.pc;
    c.regs_.re = s.d.address;
    c.regs_.st |= kStRM;
    c.repeatEnd_ = s.d.address;
  }

  static void Jump(Cpu& c, uint32_t target) {
    target &= Cpu::kAddressMask;
    const uint32_t from = c.curPc_;
    c.regs_.pc = target;
    if (target <= from) c.BackwardBranch(target);
  }

  static void DelaySlots(Cpu& c) {
    for (int i = 0; i < 3 && !c.stopped_; ++i) c.ExecuteOne();
  }

  static uint32_t BranchTargetOf(Cpu& c, const Cpu::Slot& s) {
    return s.d.pcRelative ? s.target : c.RegInt(s.d.src.reg);
  }

  static void Br(Cpu& c, const Cpu::Slot& s) { Jump(c, s.d.address); }
  static void Brd(Cpu& c, const Cpu::Slot& s) {
    const uint32_t from = c.curPc_;
    DelaySlots(c);
    c.curPc_ = from;
    Jump(c, s.d.address);
  }
  static void Call(Cpu& c, const Cpu::Slot& s) {
    Push(c, c.regs_.pc);
    c.regs_.pc = s.d.address;
  }
  static void CallCond(Cpu& c, const Cpu::Slot& s) {
    if (!Cond(s.d.cond, c.regs_.st)) return;
    const uint32_t t = BranchTargetOf(c, s);
    Push(c, c.regs_.pc);
    c.regs_.pc = t & Cpu::kAddressMask;
  }
  static void BCond(Cpu& c, const Cpu::Slot& s) {
    if (Cond(s.d.cond, c.regs_.st)) Jump(c, BranchTargetOf(c, s));
  }
  static void BCondD(Cpu& c, const Cpu::Slot& s) {
    const bool taken = Cond(s.d.cond, c.regs_.st);
    const uint32_t t = BranchTargetOf(c, s);
    const uint32_t from = c.curPc_;
    DelaySlots(c);
    c.curPc_ = from;
    if (taken) Jump(c, t);
  }
  static bool DecAndTest(Cpu& c, const Cpu::Slot& s) {
    uint32_t& ar = c.regs_.ar[s.d.dst];
    ar = ArAdd(ar, -1);
    // The counter is a 24-bit signed number.
    return !(ar & 0x800000u) && Cond(s.d.cond, c.regs_.st);
  }
  static void DbCond(Cpu& c, const Cpu::Slot& s) {
    const uint32_t t = BranchTargetOf(c, s);
    if (DecAndTest(c, s)) Jump(c, t);
  }
  static void DbCondD(Cpu& c, const Cpu::Slot& s) {
    const uint32_t t = BranchTargetOf(c, s);
    const bool taken = DecAndTest(c, s);
    const uint32_t from = c.curPc_;
    DelaySlots(c);
    c.curPc_ = from;
    if (taken) Jump(c, t);
  }
  static void Trap(Cpu& c, const Cpu::Slot& s) {
    if (!Cond(s.d.cond, c.regs_.st)) return;
    Push(c, c.regs_.pc);
    c.regs_.st &= ~kStGIE;
    const uint32_t n = s.d.address;
    c.regs_.pc =
        (c.vectorMode_ == VectorMode::BootLoaderRam ? 0x809FE0u + n : c.Read(c.regs_.tvtp + n)) &
        Cpu::kAddressMask;
  }
  static void RetI(Cpu& c, const Cpu::Slot& s) {
    if (!Cond(s.d.cond, c.regs_.st)) return;
    c.regs_.pc = Pop(c) & Cpu::kAddressMask;
    c.regs_.st |= kStGIE;
    c.RequestAttention();
  }
  static void RetS(Cpu& c, const Cpu::Slot& s) {
    if (!Cond(s.d.cond, c.regs_.st)) return;
    c.regs_.pc = Pop(c) & Cpu::kAddressMask;
  }
  // --- parallel instructions ------------------------------------------------
  // Both halves read all their operands before either writes, as the hardware
  // does: "LDI *AR0, R0 || STI R0, *AR1" stores the old R0.
  struct Val {
    uint32_t word = 0;
    ExtFloat f;
  };
  static Val ReadOperand(Cpu& c, const Operand& o) {
    Val v;
    if (o.mode == AddrMode::Register) {
      v.word = c.RegInt(o.reg);
      if (o.reg < 8) v.f = c.regs_.r[o.reg];
    } else if (o.mode == AddrMode::Indirect) {
      v.word = c.Read(Indirect(c, o));
      v.f = FromSingle(v.word);
    }
    return v;
  }
  struct Pending {
    bool reg = false, mem = false, isFloat = false;
    unsigned dst = 0;
    uint32_t address = 0, word = 0;
    ExtFloat f;
    FloatFlags flags;  // N Z V UF of the result
    bool setCarry = false, carry = false;
  };
  static Pending Evaluate(Cpu& c, const c3x::ParallelPart& part, const Val& a, const Val& b) {
    Pending p;
    p.dst = part.dst.reg;
    auto intResult = [&](const IntOut& o) {
      p.reg = true;
      p.word = Saturate(c, o);
      p.flags = FloatFlags{(p.word & 0x80000000u) != 0, p.word == 0, o.overflow, false};
      p.setCarry = o.setCarry;
      p.carry = o.carry;
    };
    auto floatResult = [&](const FloatResult& r) {
      p.reg = true;
      p.isFloat = true;
      p.f = r.value;
      p.flags = r.flags;
    };
    switch (part.op) {
      case Op::STI:
        p.mem = true;
        p.word = a.word;
        break;
      case Op::STF:
        p.mem = true;
        p.word = ToSingle(a.f);
        break;
      case Op::LDI:
        intResult(IntOut{a.word, false, false, false});
        break;
      case Op::LDF:
        p.reg = p.isFloat = true;
        p.f = a.f;
        p.flags = LoadFlags(a.f);
        break;
      case Op::ABSF:
        floatResult(AbsF(a.f));
        break;
      case Op::NEGF:
        floatResult(NegF(a.f));
        break;
      case Op::FLOAT:
        floatResult(FloatOfInt(static_cast<int32_t>(a.word)));
        break;
      case Op::FIX: {
        const FixResult r = Fix(a.f);
        p.reg = true;
        p.word = static_cast<uint32_t>(r.value);
        p.flags = FloatFlags{r.n, r.z, r.v, false};
        break;
      }
      case Op::ABSI: {
        const bool ov = a.word == 0x80000000u;
        const uint32_t v = (a.word & 0x80000000u) ? 0u - a.word : a.word;
        intResult(IntOut{ov && (c.regs_.st & kStOVM) ? 0x7FFFFFFFu : v, ov, false, false});
        break;
      }
      case Op::NEGI:
        intResult(IntCompute(c, IntOp::Sub, 0, a.word));
        break;
      case Op::NOT:
        intResult(IntOut{~a.word, false, false, false});
        break;
      // Three-operand halves compute b OP a.
      case Op::ADDI3:
        intResult(IntCompute(c, IntOp::Add, b.word, a.word));
        break;
      case Op::SUBI3:
        intResult(IntCompute(c, IntOp::Sub, b.word, a.word));
        break;
      case Op::MPYI3:
        intResult(IntCompute(c, IntOp::Mpy, b.word, a.word));
        break;
      case Op::AND3:
        intResult(IntCompute(c, IntOp::And, b.word, a.word));
        break;
      case Op::OR3:
        intResult(IntCompute(c, IntOp::Or, b.word, a.word));
        break;
      case Op::XOR3:
        intResult(IntCompute(c, IntOp::Xor, b.word, a.word));
        break;
      case Op::ASH3:
        intResult(IntCompute(c, IntOp::Ash, b.word, a.word));
        break;
      case Op::LSH3:
        intResult(IntCompute(c, IntOp::Lsh, b.word, a.word));
        break;
      case Op::ADDF3:
        floatResult(AddF(b.f, a.f));
        break;
      case Op::SUBF3:
        floatResult(SubF(b.f, a.f));
        break;
      case Op::MPYF3:
        floatResult(MpyF(b.f, a.f));
        break;
      default:
        break;
    }
    return p;
  }

  static void ParallelOp(Cpu& c, const Cpu::Slot& s) {
    const c3x::ParallelInfo* info = c3x::ParallelInfoOf(s.d.op);
    Val a[2], b[2];
    uint32_t address[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
      const c3x::ParallelPart& part = s.d.parallel[i];
      a[i] = ReadOperand(c, part.a);
      b[i] = ReadOperand(c, part.b);
      if (part.dst.mode == AddrMode::Indirect) address[i] = Indirect(c, part.dst);
    }
    Pending out[2];
    for (int i = 0; i < 2; ++i) {
      out[i] = Evaluate(c, s.d.parallel[i], a[i], b[i]);
      out[i].address = address[i];
    }
    // Which half sets the condition flags.
    int flagHalf = -1;
    if (info) {
      switch (info->kind) {
        case c3x::ParallelKind::MultiplyAdd:
          flagHalf = 1;
          break;
        case c3x::ParallelKind::UnaryStore:
        case c3x::ParallelKind::ThreeOpStore:
          flagHalf = 0;
          break;
        default:
          break;
      }
    }
    bool lv = false, luf = false;
    for (int i = 0; i < 2; ++i) {
      const Pending& p = out[i];
      if (!p.reg) continue;
      if (p.isFloat)
        c.regs_.r[p.dst] = p.f;
      else
        c.SetRegInt(p.dst, p.word);
      lv = lv || p.flags.v;
      luf = luf || p.flags.uf;
    }
    if (flagHalf >= 0 && out[flagHalf].reg) {
      FloatFlagsToSt(c, out[flagHalf].flags);
      // C as the single instruction sets it (ADDI3, SUBI3, NEGI, ASH3, LSH3).
      if (out[flagHalf].setCarry)
        c.regs_.st = (c.regs_.st & ~kStC) | (out[flagHalf].carry ? uint32_t{kStC} : 0u);
      if (lv) c.regs_.st |= kStLV;
      if (luf) c.regs_.st |= kStLUF;
    }
    for (int i = 0; i < 2; ++i)
      if (out[i].mem) c.Write(out[i].address, out[i].word);
  }
};

Cpu::Handler Cpu::HandlerFor(const DecodedInsn& d) {
  if (d.format == Format::Parallel && d.parallelValid) return &Exec::ParallelOp;
  if (!d.supported) return &Unimplemented;
  using E = Exec;
  using I = Exec::IntOp;
  switch (d.op) {
    case Op::ABSF:
      return &E::AbsFg;
    case Op::ABSI:
      return &E::AbsI;
    case Op::ADDC:
      return &E::GenInt<I::AddC>;
    case Op::ADDF:
      return &E::AddFg;
    case Op::ADDI:
      return &E::GenInt<I::Add>;
    case Op::AND:
      return &E::GenInt<I::And>;
    case Op::ANDN:
      return &E::GenInt<I::AndN>;
    case Op::ASH:
      return &E::GenInt<I::Ash>;
    case Op::CMPF:
      return &E::CmpFg;
    case Op::CMPI:
      return &E::CmpI;
    case Op::FIX:
      return &E::FixG;
    case Op::FLOAT:
      return &E::FloatG;
    case Op::IDLE:
    case Op::IDLE2:
      return &E::Idle;
    case Op::LDE:
      return &E::Lde;
    case Op::LDF:
    case Op::LDFI:
      return &E::Ldf;
    case Op::LDI:
    case Op::LDII:
      return &E::Ldi;
    case Op::LDM:
      return &E::Ldm;
    case Op::LSH:
      return &E::GenInt<I::Lsh>;
    case Op::MPYF:
      return &E::MpyFg;
    case Op::MPYI:
      return &E::GenInt<I::Mpy>;
    case Op::NEGB:
      return &E::NegB;
    case Op::NEGF:
      return &E::NegFg;
    case Op::NEGI:
      return &E::NegI;
    case Op::NOP:
      return &E::Nop;
    case Op::NORM:
      return &E::NormG;
    case Op::NOT:
      return &E::Not;
    case Op::POP:
      return &E::PopI;
    case Op::POPF:
      return &E::PopF;
    case Op::PUSH:
      return &E::PushI;
    case Op::PUSHF:
      return &E::PushF;
    case Op::OR:
      return &E::GenInt<I::Or>;
    case Op::LOPOWER:
    case Op::MAXSPEED:
    case Op::SIGI:
      return &E::NoOp;
    case Op::RND:
      return &E::RndG;
    case Op::ROL:
      return &E::Rotate<Exec::Rot::Rol>;
    case Op::ROLC:
      return &E::Rotate<Exec::Rot::Rolc>;
    case Op::ROR:
      return &E::Rotate<Exec::Rot::Ror>;
    case Op::RORC:
      return &E::Rotate<Exec::Rot::Rorc>;
    case Op::RPTS:
      return &E::Rpts;
    case Op::STF:
    case Op::STFI:
      return &E::StF;
    case Op::STI:
    case Op::STII:
      return &E::StI;
    case Op::SUBB:
      return &E::GenInt<I::SubB>;
    case Op::SUBC:
      return &E::SubC;
    case Op::SUBF:
      return &E::SubFg;
    case Op::SUBI:
      return &E::GenInt<I::Sub>;
    case Op::SUBRB:
      return &E::GenIntReverse<I::SubB>;
    case Op::SUBRF:
      return &E::SubRFg;
    case Op::SUBRI:
      return &E::GenIntReverse<I::Sub>;
    case Op::TSTB:
      return &E::TstB;
    case Op::XOR:
      return &E::GenInt<I::Xor>;
    case Op::IACK:
      return &E::Iack;
    case Op::ADDC3:
      return &E::ThreeInt<I::AddC>;
    case Op::ADDF3:
      return &E::ThreeFloat<Exec::FOp::Add>;
    case Op::ADDI3:
      return &E::ThreeInt<I::Add>;
    case Op::AND3:
      return &E::ThreeInt<I::And>;
    case Op::ANDN3:
      return &E::ThreeInt<I::AndN>;
    case Op::ASH3:
      return &E::ThreeInt<I::Ash>;
    case Op::CMPF3:
      return &E::ThreeFloat<Exec::FOp::Cmp>;
    case Op::CMPI3:
      return &E::ThreeInt<I::Sub>;
    case Op::LSH3:
      return &E::ThreeInt<I::Lsh>;
    case Op::MPYF3:
      return &E::ThreeFloat<Exec::FOp::Mpy>;
    case Op::MPYI3:
      return &E::ThreeInt<I::Mpy>;
    case Op::OR3:
      return &E::ThreeInt<I::Or>;
    case Op::SUBB3:
      return &E::ThreeInt<I::SubB>;
    case Op::SUBF3:
      return &E::ThreeFloat<Exec::FOp::Sub>;
    case Op::SUBI3:
      return &E::ThreeInt<I::Sub>;
    case Op::TSTB3:
      return &E::ThreeInt<I::And>;
    case Op::XOR3:
      return &E::ThreeInt<I::Xor>;
    case Op::LDFcond:
      return &E::LdfCond;
    case Op::LDIcond:
      return &E::LdiCond;
    case Op::BR:
      return &E::Br;
    case Op::BRD:
      return &E::Brd;
    case Op::CALL:
      return &E::Call;
    case Op::RPTB:
      return &E::Rptb;
    case Op::SWI:
      return &E::Swi;
    case Op::Bcond:
      return &E::BCond;
    case Op::BcondD:
      return &E::BCondD;
    case Op::DBcond:
      return &E::DbCond;
    case Op::DBcondD:
      return &E::DbCondD;
    case Op::CALLcond:
      return &E::CallCond;
    case Op::TRAPcond:
      return &E::Trap;
    case Op::RETIcond:
      return &E::RetI;
    case Op::RETScond:
      return &E::RetS;
    default:
      return &Unimplemented;
  }
}

Cpu::Cpu(IoBus& io) : io_(io), pages_(kPageCount) {
  Reset();
}
Cpu::~Cpu() = default;

void Cpu::MapRam(uint32_t start, uint32_t words, uint32_t* storage) {
  for (uint32_t off = 0; off < words; off += kPageWords) {
    Page& p = pages_[((start + off) & kAddressMask) >> kPageBits];
    p.ram = storage + off;
    p.code = nullptr;  // decoded lazily
  }
}

void Cpu::UnmapAll() {
  for (Page& p : pages_) p = Page{};
  codePages_.clear();
}

bool Cpu::Peek(uint32_t address, uint32_t* value) const {
  const Page& p = pages_[(address & kAddressMask) >> kPageBits];
  if (!p.ram) return false;
  *value = p.ram[address & (kPageWords - 1)];
  return true;
}

bool Cpu::Poke(uint32_t address, uint32_t value) {
  Page& p = pages_[(address & kAddressMask) >> kPageBits];
  if (!p.ram) return false;
  const uint32_t off = address & (kPageWords - 1);
  p.ram[off] = value;
  if (p.code) p.code[off].fn = &DecodeAndRun;
  ++writes_;
  return true;
}

void Cpu::Reset() {
  regs_ = Registers{};
  attention_ = true;
  idle_ = false;
  rptsActive_ = false;
  repeatEnd_ = UINT32_MAX;
  spinTarget_ = UINT32_MAX;
  ClearStop();
}

uint32_t Cpu::RegInt(unsigned r) const {
  if (r < 8) return regs_.r[r].man;
  switch (r) {
    case 8:
    case 9:
    case 10:
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
      return regs_.ar[r - 8];
    case c3x::kDP:
      return regs_.dp;
    case c3x::kIR0:
      return regs_.ir0;
    case c3x::kIR1:
      return regs_.ir1;
    case c3x::kBK:
      return regs_.bk;
    case c3x::kSP:
      return regs_.sp;
    case c3x::kST:
      return regs_.st;
    case c3x::kIE:
      return regs_.ie;
    case c3x::kIF:
      return regs_.ifr;
    case c3x::kIOF:
      return regs_.iof;
    case c3x::kRS:
      return regs_.rs;
    case c3x::kRE:
      return regs_.re;
    case c3x::kRC:
      return regs_.rc;
    default:
      return 0;
  }
}

void Cpu::SetRegInt(unsigned r, uint32_t v) {
  if (r < 8) {
    regs_.r[r].man = v;
    return;
  }
  switch (r) {
    case 8:
    case 9:
    case 10:
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
      regs_.ar[r - 8] = v;
      return;
    case c3x::kDP:
      regs_.dp = v;
      return;
    case c3x::kIR0:
      regs_.ir0 = v;
      return;
    case c3x::kIR1:
      regs_.ir1 = v;
      return;
    case c3x::kBK:
      regs_.bk = v;
      return;
    case c3x::kSP:
      regs_.sp = v;
      return;
    case c3x::kST:
      regs_.st = v;
      repeatEnd_ = (v & kStRM) ? (regs_.re & kAddressMask) : UINT32_MAX;
      RequestAttention();
      return;
    case c3x::kIE:
      regs_.ie = v;
      RequestAttention();
      return;
    case c3x::kIF:
      regs_.ifr = v;
      RequestAttention();
      return;
    case c3x::kIOF:
      regs_.iof = v;
      return;
    case c3x::kRS:
      regs_.rs = v;
      return;
    case c3x::kRE:
      regs_.re = v;
      if (regs_.st & kStRM) repeatEnd_ = v & kAddressMask;
      return;
    case c3x::kRC:
      regs_.rc = v;
      return;
    default:
      return;
  }
}

void Cpu::RaiseInterrupt(uint32_t ifBits) {
  regs_.ifr |= ifBits;
  RequestAttention();
}

void Cpu::Stop(const std::string& message) {
  if (!stopped_) stopMessage_ = message;
  stopped_ = true;
  Yield();
}

void Cpu::Unimplemented(Cpu& cpu, const Slot& slot) {
  char text[160];
  std::snprintf(
      text, sizeof text, "Unimplemented instruction 0x%08X at 0x%06X (%s); the target is stopped",
      slot.d.word, cpu.curPc_, slot.d.reason && *slot.d.reason ? slot.d.reason : "not supported");
  cpu.regs_.pc = cpu.curPc_;
  cpu.Stop(text);
}

namespace {
void NotExecutable(Cpu& cpu, const Cpu::Slot&) {
  char text[120];
  const uint32_t pc = (cpu.Pc() - 1) & Cpu::kAddressMask;
  std::snprintf(text, sizeof text,
                "Execution reached 0x%06X, where there is no memory to run from; the target is "
                "stopped",
                pc);
  cpu.SetPc(pc);
  cpu.Stop(text);
}
}  // namespace

void Cpu::DecodeAndRun(Cpu& cpu, const Slot& slot) {
  Slot& s = const_cast<Slot&>(slot);
  uint32_t word = 0;
  cpu.Peek(cpu.curPc_, &word);
  s.d = c3x::Decode(word);
  s.fn = HandlerFor(s.d);
  s.target = s.d.pcRelative ? c3x::BranchTarget(s.d, cpu.curPc_) : 0;
  s.fn(cpu, s);
}

const Cpu::Slot& Cpu::FetchSlot(uint32_t pc) {
  Page& p = pages_[pc >> kPageBits];
  if (p.ram) {
    if (!p.code) {
      auto block = std::make_unique<Slot[]>(kPageWords);
      for (uint32_t i = 0; i < kPageWords; ++i) block[i].fn = &DecodeAndRun;
      p.code = block.get();
      codePages_.push_back(std::move(block));
    }
    return p.code[pc & (kPageWords - 1)];
  }
  // Not RAM: decode every time (flash, boot ROM, nothing).
  Slot& s = scratch_[scratchNext_++ & 3];
  if (!io_.IoExecutable(pc)) {
    s.fn = &NotExecutable;
    return s;
  }
  s.d = c3x::Decode(io_.IoRead(pc));
  s.fn = HandlerFor(s.d);
  s.target = s.d.pcRelative ? c3x::BranchTarget(s.d, pc) : 0;
  return s;
}

void Cpu::RepeatEnd(uint32_t pc) {
  if (regs_.pc != ((pc + 1) & kAddressMask)) return;  // a taken branch leaves the block
  regs_.rc = regs_.rc - 1;
  if (static_cast<int32_t>(regs_.rc) >= 0) {
    regs_.pc = regs_.rs & kAddressMask;
  } else {
    regs_.st &= ~kStRM;
    repeatEnd_ = UINT32_MAX;
  }
}

void Cpu::ExecuteOne() {
  const uint32_t pc = regs_.pc;
  if (observer_) observer_->BeforeStep(pc);
  const Page& p = pages_[pc >> kPageBits];
  const Slot& s = p.code ? p.code[pc & (kPageWords - 1)] : FetchSlot(pc);
  curPc_ = pc;
  regs_.pc = (pc + 1) & kAddressMask;
  s.fn(*this, s);
  ++cycle_;
  ++instructions_;
  if (pc == repeatEnd_) RepeatEnd(pc);
}

void Cpu::Inner() {
  while (cycle_ < horizon_) {
    const uint32_t pc = regs_.pc;
    const Page& p = pages_[pc >> kPageBits];
    const Slot& s = p.code ? p.code[pc & (kPageWords - 1)] : FetchSlot(pc);
    curPc_ = pc;
    regs_.pc = (pc + 1) & kAddressMask;
    s.fn(*this, s);
    ++cycle_;
    ++instructions_;
    if (pc == repeatEnd_) RepeatEnd(pc);
  }
}

void Cpu::BackwardBranch(uint32_t target) {
  if (target != spinTarget_) {
    if (--spinCountdown_ != 0) return;
    spinCountdown_ = 64;
  } else if (writes_ == spinWrites_ && volatileReads_ == spinVolatile_ &&
             SameRegisters(regs_, spinRegs_)) {
    // One more pass of this loop would read the same values and store
    // nothing: nothing changes before the next outside event.
    if (limit_ > cycle_) {
      skippedCycles_ += limit_ - cycle_;
      cycle_ = limit_;
    }
    horizon_ = 0;
    return;
  } else {
    spinTarget_ = UINT32_MAX;
    return;
  }
  spinTarget_ = target;
  spinWrites_ = writes_;
  spinVolatile_ = volatileReads_;
  spinRegs_ = regs_;
}

bool Cpu::TakeInterrupt() {
  if (!(regs_.st & kStGIE)) return false;
  const uint32_t pending = regs_.ie & regs_.ifr & kCpuInterruptMask;
  if (!pending) return false;
  unsigned n = 0;
  while (!((pending >> n) & 1u)) ++n;
  regs_.ifr &= ~(1u << n);
  regs_.st &= ~kStGIE;
  idle_ = false;
  Exec::Push(*this, regs_.pc);
  regs_.pc = (vectorMode_ == VectorMode::BootLoaderRam ? 0x809FC1u + n : Read(regs_.ivtp + 1 + n)) &
             kAddressMask;
  cycle_ += 3;
  return true;
}

void Cpu::Attend() {
  attention_ = false;
  if (rptsActive_) {
    // RPTS: the next instruction runs RC + 1 times, fetched once and not
    // interruptible.
    const uint32_t at = rptsPc_;
    while (cycle_ < limit_ && !stopped_) {
      regs_.pc = at;
      const Page& p = pages_[at >> kPageBits];
      const Slot& s = p.code ? p.code[at & (kPageWords - 1)] : FetchSlot(at);
      if (observer_) observer_->BeforeStep(at);
      curPc_ = at;
      regs_.pc = (at + 1) & kAddressMask;
      s.fn(*this, s);
      ++cycle_;
      ++instructions_;
      regs_.rc = regs_.rc - 1;
      if (static_cast<int32_t>(regs_.rc) < 0) {
        rptsActive_ = false;
        regs_.st &= ~kStRM;
        repeatEnd_ = UINT32_MAX;
        break;
      }
    }
    if (rptsActive_) {
      regs_.pc = at;
      attention_ = true;
      return;
    }
  }
  if (TakeInterrupt()) return;
  if (idle_) {
    if (limit_ > cycle_) {
      skippedCycles_ += limit_ - cycle_;
      cycle_ = limit_;
    }
    attention_ = true;
  }
}

StepStop Cpu::RunSteps(uint64_t maxSteps, uint32_t untilPc) {
  const uint64_t end = instructions_ + maxSteps;
  while (true) {
    if (stopped_) return StepStop::Halt;
    // RPTS runs inside Attend; its instruction is not a stopping point.
    if (regs_.pc == untilPc && !rptsActive_) return StepStop::Until;
    if (instructions_ >= end) return StepStop::MaxSteps;
    if (attention_) {
      const bool wakeable = (regs_.ie & regs_.ifr & kCpuInterruptMask) != 0;
      if (idle_ && !wakeable) return StepStop::Idle;
      // Bounds the repeats of an RPTS by the budget (one cycle each).
      limit_ = cycle_ + (end - instructions_);
      Attend();
      continue;
    }
    limit_ = cycle_;  // a polling loop found by BackwardBranch skips nothing
    const uint32_t pc = regs_.pc;
    // A delayed branch runs with its three slots: stop before it rather than
    // beyond the budget.
    if (end - instructions_ < 4) {
      uint32_t word = 0;
      if (!Peek(pc, &word)) word = io_.IoExecutable(pc) ? io_.IoRead(pc) : 0;
      if (c3x::Decode(word).delayed) return StepStop::MaxSteps;
    }
    const Page& p = pages_[pc >> kPageBits];
    const Slot& s = p.code ? p.code[pc & (kPageWords - 1)] : FetchSlot(pc);
    if (observer_) observer_->BeforeStep(pc);
    curPc_ = pc;
    regs_.pc = (pc + 1) & kAddressMask;
    s.fn(*this, s);
    if (stopped_) return StepStop::Halt;  // the word that halts does not count
    ++cycle_;
    ++instructions_;
    if (pc == repeatEnd_) RepeatEnd(pc);
  }
}

void Cpu::Run(uint64_t until) {
  limit_ = until;
  while (!stopped_ && cycle_ < limit_) {
    if (attention_) {
      Attend();
      continue;
    }
    horizon_ = limit_;
    Inner();
  }
}

}  // namespace velmora::sim
