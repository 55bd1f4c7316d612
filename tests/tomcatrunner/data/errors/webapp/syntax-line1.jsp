<p>Größe: <%= 1 + 1 </p>
<p>never closed</p>
