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
<context>
    <name>smtpErrors</name>
    <message>
        <source>smtp_err_noconnect</source>
        <translation>The connection to the mail server could not be made: the server name is unknown or too long, nothing answers on its port, or this computer has no host name. The same error is given when an address of the message cannot be used as it is.</translation>
    </message>
    <message>
        <source>smtp_err_connect_lost</source>
        <translation>The connection to the mail server was lost.</translation>
    </message>
    <message>
        <source>smtp_err_badgreeting</source>
        <translation>The mail server did not accept the connection: it refused the greeting or the EHLO command.</translation>
    </message>
    <message>
        <source>smtp_err_badrcptreply</source>
        <translation>The mail server did not accept the sender or a recipient address.</translation>
    </message>
    <message>
        <source>smtp_err_badmail</source>
        <translation>The mail server did not accept the message.</translation>
    </message>
    <message>
        <source>smtp_err_badreply</source>
        <translation>The mail server sent a reply that could not be understood.</translation>
    </message>
    <message>
        <source>smtp_err_noauth</source>
        <translation>The mail server did not accept the login. Check the user name and the password of the account.</translation>
    </message>
    <message>
        <source>smtp_err_badstarttlsreply</source>
        <translation>No secure connection (STARTTLS) could be made: the mail server does not offer it, refused it, or the encryption could not be started. Nothing was sent without encryption.</translation>
    </message>
</context>
<context>
    <name>SendErrors</name>
    <message>
        <source>Attachment missing</source>
        <translation>Attachment missing:</translation>
    </message>
    <message>
        <source>AppleMail no HTML</source>
        <translation>Messages with an HTML part cannot be handed to the system mail; send plain text only.</translation>
    </message>
    <message>
        <source>unexpected</source>
        <translation>An unexpected error occurred.</translation>
    </message>
    <message>
        <source>Mail script failed</source>
        <translation>The system mail program did not accept the message.</translation>
    </message>
    <message>
        <source>Direct no exchanger</source>
        <translation>No mail server was found for the recipient's domain.</translation>
    </message>
    <message>
        <source>Direct session failed</source>
        <translation>The recipient's mail server could not be reached.</translation>
    </message>
    <message>
        <source>Direct message refused</source>
        <translation>The recipient's mail server refused the message.</translation>
    </message>
</context>
<context>
    <name>AskPassword</name>
    <message>
        <source>Password Title</source>
        <translation>Password Required</translation>
    </message>
    <message>
        <source>Password Prompt</source>
        <translation>Please enter the password of your SMTP account.</translation>
    </message>
    <message>
        <source>Password OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Password Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Password Prompt For</source>
        <translation>Please enter the password of the login “%1” on the SMTP server “%2”.</translation>
    </message>
</context>
<context>
    <name>Localized-App</name>
    <message>
        <source>DOC_OPEN_FAILED</source>
        <translation>The document could not be opened.</translation>
    </message>
    <message>
        <source>DOC_SAVE_FAILED</source>
        <translation>The document could not be saved.</translation>
    </message>
    <message>
        <source>DOC_REVERT_FAILED</source>
        <translation>The document could not be reverted to the saved version.</translation>
    </message>
    <message>
        <source>DOC_CANNOT_CLOSE</source>
        <translation>The document cannot be closed now.</translation>
    </message>
    <message>
        <source>PROJECT_FILE_FILTER</source>
        <translation>Corvantiline projects</translation>
    </message>
    <message>
        <source>ALL_FILES_FILTER</source>
        <translation>All files</translation>
    </message>
    <message>
        <source>OPEN_PANEL_TITLE</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>SAVE_PANEL_TITLE</source>
        <translation>Save As</translation>
    </message>
    <message>
        <source>SAVE_CHANGES_QUESTION</source>
        <translation>Do you want to save the changes you made in the document “%1”?</translation>
    </message>
    <message>
        <source>SAVE_CHANGES_INFO</source>
        <translation>Your changes will be lost if you don’t save them.</translation>
    </message>
</context>
<context>
    <name>Localized-Document</name>
    <message>
        <source>Untitled</source>
        <translation>Untitled</translation>
    </message>
    <message>
        <source>DOC_NOT_A_FILE</source>
        <translation>“%1” is not a file that can be opened.</translation>
    </message>
    <message>
        <source>DOC_FILE_TOO_LARGE</source>
        <translation>“%1” is too large to be a project file.</translation>
    </message>
    <message>
        <source>DOC_CANNOT_READ</source>
        <translation>“%1” could not be read: %2</translation>
    </message>
    <message>
        <source>DOC_NOT_A_PROJECT_FILE</source>
        <translation>“%1” is not a project file, or it is damaged.</translation>
    </message>
    <message>
        <source>DOC_OLD_FORM_NEEDS_SAVE_AS</source>
        <translation>“%1” is in an older form; save the project under a new name with “Save As”.</translation>
    </message>
    <message>
        <source>DOC_CANNOT_WRITE</source>
        <translation>“%1” could not be saved: %2. The previous file is unchanged.</translation>
    </message>
    <message>
        <source>DOC_NEVER_SAVED</source>
        <translation>The project has never been saved.</translation>
    </message>
    <message>
        <source>DOC_CLOSE_WHILE_SENDING</source>
        <translation>The project’s messages are being sent. Stop sending before closing it.</translation>
    </message>
    <message>
        <source>PREVIEW_PLACEHOLDER</source>
        <translation>The preview of each recipient’s message will be shown here.</translation>
    </message>
    <message>
        <source>Subject:</source>
        <translation>Subject:</translation>
    </message>
</context>
<context>
    <name>Localized-Database</name>
    <message>
        <source>Last Sent</source>
        <translation>Last sent</translation>
    </message>
</context>
<context>
    <name>Localized</name>
    <message>
        <source>FIELD_PULLDOWN_TITLE</source>
        <translation>Insert Field</translation>
    </message>
    <message>
        <source>Bad Encoding</source>
        <translation>Wrong encoding</translation>
    </message>
    <message>
        <source>Bad Encoding Message</source>
        <translation>The page cannot be read in the chosen encoding. Please choose another one.</translation>
    </message>
</context>
<context>
    <name>Localized-MessageEditor</name>
    <message>
        <source>Special Tags</source>
        <translation>Insert Special</translation>
    </message>
    <message>
        <source>Insert Condition</source>
        <translation>Condition…</translation>
    </message>
    <message>
        <source>Insert Image</source>
        <translation>Picture…</translation>
    </message>
    <message>
        <source>Insert Message Number</source>
        <translation>Message Number</translation>
    </message>
    <message>
        <source>Insert File Link</source>
        <translation>File Link…</translation>
    </message>
    <message>
        <source>Formatted Text</source>
        <translation>Formatted Text</translation>
    </message>
    <message>
        <source>Raw HTML</source>
        <translation>HTML</translation>
    </message>
    <message>
        <source>Plain Text</source>
        <translation>Plain Text</translation>
    </message>
    <message>
        <source>Template...</source>
        <translation>Template…</translation>
    </message>
    <message>
        <source>HTML Source</source>
        <translation>HTML Source</translation>
    </message>
    <message>
        <source>Plain Part</source>
        <translation>Plain Text Part</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>Import HTML...</source>
        <translation>HTML Page…</translation>
    </message>
    <message>
        <source>Import Text...</source>
        <translation>Text File…</translation>
    </message>
</context>
<context>
    <name>Localized-HTMLImport</name>
    <message>
        <source>Not Found</source>
        <translation>Not Found</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Select Entry</source>
        <translation>Please select a reference in the list first.</translation>
    </message>
    <message>
        <source>Not A Regular File</source>
        <translation>Only a regular file can be used.</translation>
    </message>
    <message>
        <source>File Too Large</source>
        <translation>The file is too large to import.</translation>
    </message>
    <message>
        <source>Text File Unreadable</source>
        <translation>The text file cannot be read, or it is too large.</translation>
    </message>
    <message>
        <source>Base Address</source>
        <translation>Address to resolve the selected references against:</translation>
    </message>
    <message>
        <source>Page Structure Refused</source>
        <translation>The page is nested too deeply, or a tag has too many attributes, to be imported safely.</translation>
    </message>
    <message>
        <source>References Not Replaced</source>
        <translation>%1 references stay as written: %2</translation>
    </message>
    <message>
        <source>Scripts and remote content</source>
        <translation>Scripts and content from other hosts (kept as written; the preview never runs or loads them):</translation>
    </message>
</context>
</TS>
