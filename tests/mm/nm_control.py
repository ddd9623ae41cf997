#!/usr/bin/python3
"""Drives python3-dbusmock's NetworkManager template on the bus in DBUS_SYSTEM_BUS_ADDRESS.

  setup MODEM_PATH DEVICE_ID   gsm profiles (and some that must not be offered), then the
                               modem's device; activations start in "activating" (1)
  ipiface NAME                 the modem's device reports this IP interface
  state ACTIVE_PATH STATE REASON
                               the active connection reports a new state with its reason
  add NAME APN                 a gsm profile added while the program runs
  addresses IPV4 IPV6          the modem's device gets IP configurations with these addresses
"""

import sys

import dbus

NM = 'org.freedesktop.NetworkManager'
NM_PATH = '/org/freedesktop/NetworkManager'
MOCK = 'org.freedesktop.DBus.Mock'
DEVICE = NM_PATH + '/Devices/wwan0'


def connection(bus, settings):
    s = dbus.Interface(bus.get_object(NM, NM_PATH + '/Settings'), NM + '.Settings')
    return s.AddConnection(dbus.Dictionary(settings, signature='sa{sv}'))


def gsm(name, apn, user='', autoconnect=True, priority=0, home_only=False, device_id=None):
    g = {'apn': dbus.String(apn), 'home-only': dbus.Boolean(home_only)}
    if user:
        g['username'] = dbus.String(user)
        g['password'] = dbus.String('secret-password')
    if device_id is not None:
        g['device-id'] = dbus.String(device_id)
    return {'connection': {'id': dbus.String(name), 'type': dbus.String('gsm'),
                           'autoconnect': dbus.Boolean(autoconnect),
                           'autoconnect-priority': dbus.Int32(priority)},
            'gsm': g}


def setup(bus, modem, device_id):
    # Profiles first: the template activates an autoconnect profile on the first device it has.
    connection(bus, gsm('Mobile Internet', 'internet.example', user='web', priority=5))
    connection(bus, gsm('Business', 'biz.example', priority=10, home_only=True, device_id=device_id))
    connection(bus, gsm('Manual', 'manual.example', autoconnect=False))
    connection(bus, gsm('Other modem', 'other.example', priority=99, device_id='another-device'))
    connection(bus, {'connection': {'id': dbus.String('Wired'), 'type': dbus.String('802-3-ethernet')}})
    # Mobile broadband on, as on a desktop that uses it.
    dbus.Interface(bus.get_object(NM, NM_PATH), dbus.PROPERTIES_IFACE).Set(NM, 'WwanEnabled', dbus.Boolean(True))
    nm = dbus.Interface(bus.get_object(NM, NM_PATH), MOCK)
    nm.AddObject(DEVICE, NM + '.Device', {
        'DeviceType': dbus.UInt32(8),
        'Udi': dbus.String(modem),
        'Interface': dbus.String('ttyUSB2'),
        'IpInterface': dbus.String(''),
        'State': dbus.UInt32(30),
        'StateReason': dbus.Struct((dbus.UInt32(30), dbus.UInt32(0)), signature='uu'),
        'ActiveConnection': dbus.ObjectPath('/'),
        'Ip4Config': dbus.ObjectPath('/'),
        'Ip6Config': dbus.ObjectPath('/'),
        'AvailableConnections': dbus.Array([], signature='o'),
        'Managed': dbus.Boolean(True),
        'Driver': dbus.String('option'),
    }, [])
    # A real activation passes through "activating"; the test moves it on with "state".
    nm.AddMethod(NM, 'ActivateConnection', 'ooo', 'o',
                 'ret = dbus.ObjectPath(self.AddActiveConnection([args[1]], args[0], "/", '
                 '"Modem%d" % len(self.Get("org.freedesktop.NetworkManager", "ActiveConnections")), '
                 'dbus.UInt32(1)))')


def state(bus, path, value, reason):
    obj = bus.get_object(NM, path)
    # The signal with its reason comes first, as the test wants the reason to be known.
    dbus.Interface(obj, MOCK).EmitSignal(NM + '.Connection.Active', 'StateChanged', 'uu',
                                         [dbus.UInt32(value), dbus.UInt32(reason)])
    dbus.Interface(obj, dbus.PROPERTIES_IFACE).Set(NM + '.Connection.Active', 'State', dbus.UInt32(value))


def addresses(bus, ipv4, ipv6):
    nm = dbus.Interface(bus.get_object(NM, NM_PATH), MOCK)
    device = dbus.Interface(bus.get_object(NM, DEVICE), dbus.PROPERTIES_IFACE)
    for kind, address, prefix in (('IP4Config', ipv4, 24), ('IP6Config', ipv6, 64)):
        path = NM_PATH + '/' + kind + '/1'
        nm.AddObject(path, NM + '.' + kind, {
            'AddressData': dbus.Array([dbus.Dictionary({'address': dbus.String(address),
                                                        'prefix': dbus.UInt32(prefix)}, signature='sv')],
                                      signature='a{sv}'),
        }, [])
        device.Set(NM + '.Device', kind.replace('IP', 'Ip'), dbus.ObjectPath(path))


def main():
    bus = dbus.SystemBus()
    if sys.argv[1] == 'setup':
        setup(bus, sys.argv[2], sys.argv[3])
    elif sys.argv[1] == 'ipiface':
        dbus.Interface(bus.get_object(NM, DEVICE), dbus.PROPERTIES_IFACE).Set(NM + '.Device', 'IpInterface',
                                                                              dbus.String(sys.argv[2]))
    elif sys.argv[1] == 'wwan':
        # Mobile broadband switched on or off system-wide.
        dbus.Interface(bus.get_object(NM, NM_PATH), dbus.PROPERTIES_IFACE).Set(NM, 'WwanEnabled',
                                                                             dbus.Boolean(sys.argv[2] == 'on'))
    elif sys.argv[1] == 'state':
        state(bus, sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    elif sys.argv[1] == 'addresses':
        addresses(bus, sys.argv[2], sys.argv[3])
    elif sys.argv[1] == 'add':
        connection(bus, gsm(sys.argv[2], sys.argv[3], autoconnect=False))
    else:
        sys.exit('unknown command ' + sys.argv[1])


if __name__ == '__main__':
    main()
