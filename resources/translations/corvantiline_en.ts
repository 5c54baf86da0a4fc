<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB" sourcelanguage="en_GB">
<context>
    <name>Localized-Tags</name>
    <message>
        <source>Message Number Tag Name</source>
        <translation>Message number</translation>
    </message>
</context>
<context>
    <name>Localized</name>
    <message>
        <source>TEMPLATE_NO_INDEX_FILE</source>
        <translation>The folder is not a template: it has no file named “index.html”.</translation>
    </message>
    <message>
        <source>TEMPLATE_NO_MESSAGE_TAG</source>
        <translation>The template’s “index.html” does not contain the marker “[[[message]]]” that shows where the message goes.</translation>
    </message>
    <message>
        <source>Error Report Title</source>
        <translation>Unexpected Error</translation>
    </message>
    <message>
        <source>Error Report Intro</source>
        <translation>An unexpected error occurred. You can send this report to the maker of the program; it contains only the text shown below.</translation>
    </message>
    <message>
        <source>Send Report</source>
        <translation>Send Report</translation>
    </message>
    <message>
        <source>Close Report</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Error Report No Address</source>
        <translation>This copy of the program has no address to send error reports to.</translation>
    </message>
    <message>
        <source>Error Report Sent</source>
        <translation>The report was sent. Thank you.</translation>
    </message>
    <message>
        <source>Error Report Not Sent</source>
        <translation>The report could not be sent:</translation>
    </message>
    <message>
        <source>Error Report Truncated</source>
        <translation>[%1 more characters left out]</translation>
    </message>
    <message>
        <source>Unknown Exception</source>
        <translation>An error of an unknown kind occurred.</translation>
    </message>
</context>
<context>
    <name>Localized-MessageEditor</name>
    <message>
        <source>Invalid URL</source>
        <translation>Invalid link address</translation>
    </message>
    <message>
        <source>Invalid URL Text</source>
        <translation>The text you entered is not a valid web address. Please correct it or cancel.</translation>
    </message>
    <message>
        <source>Link Sheet Title</source>
        <translation>Link</translation>
    </message>
    <message>
        <source>Link Sheet Address</source>
        <translation>Link address:</translation>
    </message>
</context>
</TS>
