#include "measurement_decoding.h"

namespace trelvan {

namespace {

double TemperatureOf(ByteView reply) { return RegisterSigned(reply, 4) / 10.0; }

// The unit text of the reply's unit code, where the member's family knows
// the code; otherwise the text stays as it was.
void SetUnitIfKnown(std::string& unit, RequestMember member, std::uint8_t code) {
  if (auto text = ReplyUnitText(member, UnitCode(code))) unit = std::move(*text);
}

} // namespace

void DecodeMeasurement(RequestMember member, ByteView reply, SharedResults& r) {
  const std::uint8_t code = RegisterLowByte(reply, 0);
  switch (member) {
    case RequestMember::Resistivity:
      r.ResistivityRange = code;
      r.ResistivityRaw = RegisterSigned(reply, 3);
      r.Temperature = TemperatureOf(reply);
      break;
    case RequestMember::Conductivity:
      r.ConductivityRange = code;
      r.ConductivityRaw = RegisterSigned(reply, 3);
      r.Temperature = TemperatureOf(reply);
      break;
    case RequestMember::Ph:
      r.PhValue = RegisterSigned(reply, 3) / 100.0;
      r.Temperature = TemperatureOf(reply);
      break;
    case RequestMember::Redox:
      r.RedoxValue = RegisterSigned(reply, 3);
      r.Temperature = TemperatureOf(reply);
      break;
    case RequestMember::Oxygen: {
      r.OxygenUnit = code;
      const int raw = RegisterWord(reply, 3);
      r.OxygenRaw = raw >= 0x8000 ? 0 : raw; // a negative reading counts as none
      r.Temperature = TemperatureOf(reply);
      break;
    }
    case RequestMember::Flow:
      r.FlowRange = code;
      r.FlowRate = RegisterWord(reply, 3); // unsigned: a flow is never negative
      r.Temperature = TemperatureOf(reply);
      r.FlowVolume2 = ReadBcdCounter(reply, 2, 1);
      r.FlowVolume1 = ReadBcdCounter(reply, 7, 6);
      break;
    case RequestMember::Chlorine:
      r.ChlorineValue = RegisterSigned(reply, 3) / 1000.0;
      r.Temperature = TemperatureOf(reply);
      break;
    case RequestMember::Turbidity:
      r.TurbidityPointCode = PointCode(code);
      SetUnitIfKnown(r.TurbidityUnit, member, code);
      r.TurbidityRaw = RegisterSigned(reply, 3);
      r.Temperature = TemperatureOf(reply);
      break;
    case RequestMember::DualResistivity:
      // Register 4 is the second resistivity here, not a temperature.
      r.ResistivityRange = code;
      r.ResistivityRaw = RegisterSigned(reply, 3);
      r.SecondResistivityRaw = RegisterSigned(reply, 4);
      break;
    case RequestMember::MultiUnit:
      r.MultiUnitPointCode = PointCode(code);
      SetUnitIfKnown(r.MultiUnitUnit, member, code);
      r.MultiUnitRaw = RegisterSigned(reply, 3);
      r.Temperature = TemperatureOf(reply);
      break;
    case RequestMember::Oxidant:
      r.OxidantPointCode = PointCode(code);
      SetUnitIfKnown(r.OxidantUnit, member, code);
      r.OxidantRaw = RegisterSigned(reply, 3);
      r.Temperature = TemperatureOf(reply);
      break;
  }
}

} // namespace trelvan
