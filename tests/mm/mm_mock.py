"""python3-dbusmock template: a ModemManager that knows one LTE/5G modem, for the tests of the
NetworkManager side (the real daemon is used where the AT paths matter).

Parameters: {"id": DEVICE_IDENTIFIER}
"""

import dbus
import dbusmock

BUS_NAME = 'org.freedesktop.ModemManager1'
MAIN_OBJ = '/org/freedesktop/ModemManager1'
MAIN_IFACE = 'org.freedesktop.ModemManager1'
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True

MODEM = '/org/freedesktop/ModemManager1/Modem/7'


def load(mock, parameters):
    mock.AddObject(MODEM, 'org.freedesktop.ModemManager1.Modem', {
        'DeviceIdentifier': dbus.String(parameters.get('id', 'mock-modem-1')),
        'Manufacturer': dbus.String('Mock Devices'),
        'Model': dbus.String('LTE Mock 5G'),
        'Revision': dbus.String('R1.0'),
        'EquipmentIdentifier': dbus.String('356938035643809'),
        # GSM/UMTS + LTE + 5G NR
        'SupportedCapabilities': dbus.Array([dbus.UInt32(4 | 8 | 64)], signature='u'),
        # 2G | 3G | 4G | 5G allowed, none preferred
        'SupportedModes': dbus.Array([dbus.Struct((dbus.UInt32(2 | 4 | 8 | 16), dbus.UInt32(0)), signature='uu')],
                                     signature='(uu)'),
        # egsm, dcs, utran-1, eutran-3, eutran-7, ngran-78
        'SupportedBands': dbus.Array([dbus.UInt32(b) for b in (1, 2, 5, 33, 37, 378)], signature='u'),
        'SignalQuality': dbus.Struct((dbus.UInt32(58), dbus.Boolean(True)), signature='ub'),
        'State': dbus.Int32(8),
    }, [])
    mock.object_manager_emit_added(MODEM)


@dbus.service.method(dbusmock.MOCK_IFACE, in_signature='ssu', out_signature='')
def Replug(self, old_path, new_path, quality):
    '''The modem goes away and comes back on another object path, as after re-plugging.'''
    props = dbusmock.get_object(old_path).props
    modem = dict(props['org.freedesktop.ModemManager1.Modem'])
    self.object_manager_emit_removed(old_path)
    self.RemoveObject(old_path)
    modem['SignalQuality'] = dbus.Struct((dbus.UInt32(quality), dbus.Boolean(True)), signature='ub')
    self.AddObject(new_path, 'org.freedesktop.ModemManager1.Modem', modem, [])
    self.object_manager_emit_added(new_path)
