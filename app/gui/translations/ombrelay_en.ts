<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>MessageNotifier</name>
    <message numerus="yes">
        <source>From %1 and %n more</source>
        <translation>
            <numerusform>From %1 and %n more</numerusform>
            <numerusform>From %1 and %n more</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n new message(s)</source>
        <translation>
            <numerusform>%n new message</numerusform>
            <numerusform>%n new messages</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>MessageTools</name>
    <message numerus="yes">
        <source>%n number(s) imported.</source>
        <translation>
            <numerusform>%n number imported.</numerusform>
            <numerusform>%n numbers imported.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Ombrelay::TDeviceInfoPage</name>
    <message numerus="yes">
        <source>%1 (%n attempt(s) left)</source>
        <translation>
            <numerusform>%1 (%n attempt left)</numerusform>
            <numerusform>%1 (%n attempts left)</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Ombrelay::TMessagesPage</name>
    <message numerus="yes">
        <source>Delete %n message(s) from this computer? Messages on the modem are not affected.</source>
        <translation>
            <numerusform>Delete this message from this computer? Messages on the modem are not affected.</numerusform>
            <numerusform>Delete these %n messages from this computer? Messages on the modem are not affected.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>and %n more</source>
        <translation>
            <numerusform>and %n more</numerusform>
            <numerusform>and %n more</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Ombrelay::TPinDialog</name>
    <message numerus="yes">
        <source>Enter the SIM PIN. %n attempt(s) left.</source>
        <translation>
            <numerusform>Enter the SIM PIN. %n attempt left.</numerusform>
            <numerusform>Enter the SIM PIN. %n attempts left.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>The SIM is locked by its PUK. Enter the PUK and a new PIN. %n attempt(s) left.</source>
        <translation>
            <numerusform>The SIM is locked by its PUK. Enter the PUK and a new PIN. %n attempt left.</numerusform>
            <numerusform>The SIM is locked by its PUK. Enter the PUK and a new PIN. %n attempts left.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Wrong PIN. %n attempt(s) left.</source>
        <translation>
            <numerusform>Wrong PIN. %n attempt left.</numerusform>
            <numerusform>Wrong PIN. %n attempts left.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Ombrelay::TUsageHistoryView</name>
    <message numerus="yes">
        <source>Plan %1 from %2 to %3: used %4 (%5 %), left %6, %n day(s) left, forecast %7 at the period&apos;s end</source>
        <translation>
            <numerusform>Plan %1 from %2 to %3: used %4 (%5 %), left %6, %n day left, forecast %7 at the period&apos;s end</numerusform>
            <numerusform>Plan %1 from %2 to %3: used %4 (%5 %), left %6, %n days left, forecast %7 at the period&apos;s end</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Ombrelay::TfmMainView</name>
    <message numerus="yes">
        <source>%n unread message(s)</source>
        <translation>
            <numerusform>%n unread message</numerusform>
            <numerusform>%n unread messages</numerusform>
        </translation>
    </message>
</context>
</TS>
