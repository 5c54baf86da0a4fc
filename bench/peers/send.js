// The same run as smtp_send_bench with nodemailer: N personalised messages
// (plain text and HTML) over one pooled connection.
//
// Usage: node send.js [messages [port [host]]]   (2000, 2526, 127.0.0.1)
// The last line, "RESULT nodemailer <messages> <bytes per message>
// <seconds>", is read by run-smtp-bench.sh.
'use strict';
const nodemailer = require('nodemailer');

// The same texts as smtp_send_bench.cpp and send.py.
const PARAGRAPH =
  'Thank you for your order of last week. We are glad to tell you that all items have been packed ' +
  'and handed to the carrier this morning; you will receive a separate notice with the tracking ' +
  'number as soon as the parcel is scanned at the first depot. Should anything be missing or ' +
  'damaged on arrival, please reply to this message within fourteen days and we will send a ' +
  'replacement at no cost. Our opening hours remain Monday to Friday from nine to six, and on ' +
  'Saturdays from ten to two. ';
const FIRST = ['Anna', 'Bernd', 'Clara', 'David', 'Eva', 'Frank', 'Gina', 'Hugo'];
const LAST = ['Meyer', 'Schulz', 'Fischer', 'Weber', 'Wagner', 'Becker', 'Hoffmann'];

function personalised(i) {
  const first = FIRST[i % 8];
  const last = LAST[i % 7];
  const name = `${first} ${last}`;
  return {
    from: 'Example Shop <shop@test.example>',
    to: `${name} <${first.toLowerCase()}.${last.toLowerCase()}.${i}@dest.example>`,
    subject: `Your order ${i} is on its way, ${name}`,
    text: `Dear ${name},\n\n${PARAGRAPH}\n\n${PARAGRAPH}\n\n${PARAGRAPH}\n\nYour customer number is ${i}.\n\nKind regards\nExample Shop\n`,
    html: `<html><body><p>Dear <b>${name}</b>,</p>\n<p>${PARAGRAPH}</p>\n<p>${PARAGRAPH}</p>\n<p>${PARAGRAPH}</p>\n` +
      `<p>Your customer number is <b>${i}</b>.</p>\n<p>Kind regards<br>Example Shop</p></body></html>\n`,
  };
}

async function main() {
  const count = Number(process.argv[2] || 2000);
  const port = Number(process.argv[3] || 2526);
  const host = process.argv[4] || '127.0.0.1';
  const start = process.hrtime.bigint();
  const transport = nodemailer.createTransport({
    host, port, secure: false, ignoreTLS: true,
    pool: true, maxConnections: 1, maxMessages: Infinity,
  });
  // All handed over at once: the pool sends them one after another on its
  // one connection.
  const sent = [];
  for (let i = 0; i < count; i++) sent.push(transport.sendMail(personalised(i)));
  const infos = await Promise.all(sent);
  transport.close();
  const seconds = Number(process.hrtime.bigint() - start) / 1e9;
  const bytes = infos.reduce((sum, info) => sum + (info.messageSize || 0), 0);
  const average = Math.floor(bytes / count);
  console.log(`${count} messages of ${average} bytes on average in ${seconds.toFixed(3)} s: ` +
    `${(count / seconds).toFixed(0)} msg/s`);
  console.log(`RESULT nodemailer ${count} ${average} ${seconds.toFixed(6)}`);
}

main().catch((error) => { console.error(error); process.exit(1); });
