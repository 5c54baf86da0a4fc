// The whole send path of run-send-bench.sh with nodemailer: the rows of
// DIR/rows.csv, each turned into a personalised message (subject, plain
// text, HTML from the templates whole_send_bench --fixtures wrote, the
// inline picture and the 50 KB attachment), over one pooled connection.
//
// Usage: node whole_send.js DIR [port [host]]   (2526, 127.0.0.1)
// The last line, "RESULT nodemailer <messages> <bytes per message>
// <seconds> <peak RSS KiB>", is read by run-send-bench.sh.
'use strict';
const fs = require('fs');
const path = require('path');
const crypto = require('crypto');
const nodemailer = require('nodemailer');

const PLACEHOLDER = /\{\{(\w+)\}\}/g;
const escaped = (text) =>
  text.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;').replace(/"/g, '&quot;');
const fill = (template, values, escape) =>
  template.replace(PLACEHOLDER, (_, name) => (escape ? escape(values[name]) : values[name]));

// The two condition tags of the reference message.
function greeting(row) {
  if (row.Title === 'Dr.') return 'Dear Doctor';
  if (row.Title.includes('Prof')) return 'Dear Professor';
  if (row.Title !== '') return `Dear colleague ${row.LastName}`;
  return '';
}
const region = (row) => (row.Country === 'Germany' ? 'our Berlin office' : 'our partners abroad');

// The rows as whole_send_bench writes them: a header line, fields quoted
// only when they hold a comma or a quote, no line breaks inside fields.
function* csvRows(text) {
  const lines = text.split('\n').filter((line) => line !== '');
  const header = lines[0].split(',');
  const field = /("(?:[^"]|"")*"|[^,]*)(,|$)/g;
  for (let i = 1; i < lines.length; i++) {
    const row = {};
    let k = 0;
    field.lastIndex = 0;
    for (let m; k < header.length && (m = field.exec(lines[i])); k++) {
      const value = m[1];
      row[header[k]] = value.startsWith('"') ? value.slice(1, -1).replace(/""/g, '"') : value;
    }
    yield row;
  }
}

async function main() {
  const dir = process.argv[2];
  const port = Number(process.argv[3] || 2526);
  const host = process.argv[4] || '127.0.0.1';
  const read = (name) => fs.readFileSync(path.join(dir, name));
  const subject = read('subject.txt').toString();
  const plain = read('template.txt').toString();
  const html = read('template.html').toString();
  const logo = read('logo.png');
  const attachment = read('attachment.bin');
  const rows = [...csvRows(read('rows.csv').toString())];

  const start = process.hrtime.bigint();
  const transport = nodemailer.createTransport({
    host, port, secure: false, ignoreTLS: true,
    pool: true, maxConnections: 1, maxMessages: Infinity,
  });
  let bytes = 0;
  const send = async (row) => {
    const id = `${crypto.randomUUID()}@test.example`;
    const values = { ...row, Greeting: greeting(row), Region: region(row), MessageID: id };
    const info = await transport.sendMail({
      from: 'Example Trading <news@test.example>',
      to: row.Email,
      subject: fill(subject, values),
      messageId: `<${id}>`,
      text: fill(plain, values),
      html: fill(html, values, escaped),
      attachments: [
        { filename: 'logo.png', content: logo, contentType: 'image/png', cid: `logo.png${id}` },
        { filename: 'attachment.bin', content: attachment, contentType: 'application/octet-stream' },
      ],
    });
    bytes += info.messageSize || 0;
  };
  // The pool sends one message after another on its one connection; a
  // window of messages handed over keeps it busy without building them all.
  const window = 64;
  let next = 0;
  const worker = async () => {
    while (next < rows.length) await send(rows[next++]);
  };
  await Promise.all(Array.from({ length: window }, worker));
  transport.close();
  const seconds = Number(process.hrtime.bigint() - start) / 1e9;
  const count = rows.length;
  const average = Math.floor(bytes / count);
  const peak = process.resourceUsage().maxRSS;
  console.log(`${count} messages of ${average} bytes on average in ${seconds.toFixed(3)} s: ` +
    `${(count / seconds).toFixed(0)} msg/s, peak RSS ${peak} KiB`);
  console.log(`RESULT nodemailer ${count} ${average} ${seconds.toFixed(6)} ${peak}`);
}

main().catch((error) => { console.error(error); process.exit(1); });
