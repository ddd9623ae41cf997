<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Ombrelay::TTrayIcon</name>
    <message numerus="yes">
        <source>%n New Message(s)</source>
        <translation>
            <numerusform>%n New Message</numerusform>
            <numerusform>%n New Messages</numerusform>
        </translation>
    </message>
</context>
</TS>
