<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>AboutDialog</name>
    <message>
        <source>About</source>
        <translation>О программе</translation>
    </message>
    <message>
        <source>Device Manager</source>
        <translation>Менеджер устройств</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>Версия:</translation>
    </message>
    <message>
        <source>Copyright © 2026. All rights reserved.</source>
        <translation>© 2026. Все права защищены.</translation>
    </message>
</context>
<context>
    <name>ProgressDialog</name>
    <message>
        <source>Please wait</source>
        <translation>Подождите</translation>
    </message>
</context>
<context>
    <name>WelcomeForm</name>
    <message>
        <source>Welcome to VARNO Devices Manager</source>
        <translation>Добро пожаловать в менеджер устройств VARNO</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;To start work with your VARNO Ormelin device, please connect it to USB port of your PC or Mac.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Чтобы начать работу с прибором VARNO Ormelin, подключите его к USB-порту компьютера.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;To view collected data without device, please follow to &amp;quot;History Mode&amp;quot;.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Чтобы просмотреть собранные данные без прибора, перейдите в «Режим истории».&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>History mode</source>
        <translation>Режим истории</translation>
    </message>
</context>
</TS>
